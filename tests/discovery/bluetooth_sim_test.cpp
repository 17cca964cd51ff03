// Pairing, the Bluetooth half of the search, and pairing removal against the simulated stack.
#include "device/dev_orx_hid.h"
#include "discovery/bluetooth_search.h"
#include "platform/posix/control.h"
#include "sim/bluetooth_world.h"
#include "sim/world.h"
#include "wii/bluetooth_pairing.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using sim::BluetoothDeviceState;
using sim::BluetoothWorld;

constexpr uint64_t kRadioAddress = 0x001122334455;
constexpr uint64_t kBoardAddress = 0x00191d2a3b4c;

class BluetoothTest : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    sim::World::Instance().Clear();
    handlesBefore_ = posix::LiveHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(posix::LiveHandleCount(), handlesBefore_) << "radio or search handles left open";
    World().Reset();
    posix::UseVirtualClock(false);
  }
  static BluetoothWorld& World() { return BluetoothWorld::Instance(); }
  static BluetoothDeviceState Board() {
    BluetoothDeviceState board;
    board.address = kBoardAddress;
    return board;
  }
  static BluetoothDeviceState State() {
    BluetoothDeviceState state;
    World().Device(kBoardAddress, state);
    return state;
  }
  static int CountCalls(const std::string& name) {
    auto calls = World().Calls();
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
  }
  int handlesBefore_ = 0;
};

TEST_F(BluetoothTest, AddressTextIsLowerCaseHexOfAtLeastEightDigits) {
  EXPECT_EQ(Kestrel::FormatBluetoothAddress(kBoardAddress), OrxString(L"191d2a3b4c"));
  EXPECT_EQ(Kestrel::FormatBluetoothAddress(0x1234), OrxString(L"00001234"));
  EXPECT_EQ(Kestrel::FormatBluetoothAddress(0xa0b1c2d3e4f5), OrxString(L"a0b1c2d3e4f5"));
}

TEST_F(BluetoothTest, NoRadioCallsNothingButTheRadioSearch) {
  DeviceSearch::BoardSighting sighting;
  bool radioMissing = false;
  EXPECT_FALSE(DeviceSearch::SearchAndPairBoards(sighting));
  EXPECT_FALSE(DeviceSearch::FindRememberedBoard(sighting, radioMissing));
  EXPECT_TRUE(radioMissing);
  Kestrel::RemoveBoardPairing(Kestrel::kBoardBluetoothName, OrxString(L"191d2a3b4c"), Kestrel::kCloseBudgetMs);
  for (const auto& call : World().Calls()) EXPECT_EQ(call, "BluetoothFindFirstRadio");
  EXPECT_TRUE(sighting.addressText.IsEmpty());
}

TEST_F(BluetoothTest, UnpairedBoardIsPairedWithTheRadioAddressAsPasskey) {
  World().AddRadio(kRadioAddress);
  World().AddDevice(Board());
  DeviceSearch::BoardSighting sighting;
  uint64_t start = posix::NowMicros();
  EXPECT_TRUE(DeviceSearch::SearchAndPairBoards(sighting));
  EXPECT_EQ(sighting.addressText, OrxString(L"191d2a3b4c"));
  EXPECT_TRUE(State().remembered && State().authenticated && State().hidServiceEnabled);
  EXPECT_TRUE(sighting.serviceEnabled);
  // The first inquiry sees the board without its name; the second pass, after the one-second
  // pause, sees it named: two passes of 2 x 1.28 s and a pause each.
  EXPECT_NEAR(static_cast<double>(posix::NowMicros() - start), 7120000.0, 100000.0);
}

TEST_F(BluetoothTest, RememberedBoardIsTakenAtFirstSightingWithoutAuthenticating) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.SetPaired(true);
  World().AddDevice(board);
  DeviceSearch::BoardSighting sighting;
  EXPECT_TRUE(DeviceSearch::SearchAndPairBoards(sighting));
  EXPECT_EQ(sighting.addressText, OrxString(L"191d2a3b4c"));
  EXPECT_EQ(CountCalls("BluetoothAuthenticateDevice"), 0);
}

TEST_F(BluetoothTest, SearchGivesUpAfterFiveSecondsWhenPairingIsRefused) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.refusesPasskey = true;
  board.acceptsWithoutPasskey = true;  // the search itself never tries without
  World().AddDevice(board);
  DeviceSearch::BoardSighting sighting;
  EXPECT_FALSE(DeviceSearch::SearchAndPairBoards(sighting));
  EXPECT_EQ(CountCalls("BluetoothFindFirstDevice"), 1 + 2)
      << "the remembered boards listed, then two passes of 3.56 s fit in five seconds";
  EXPECT_FALSE(State().authenticated);
}

TEST_F(BluetoothTest, TooManyServicesFailThePairingButLeaveTheBoardRemembered) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.otherServices = 17;
  DeviceSearch::BoardSighting sighting;
  // The listing fails after the authentication took: the next pass finds the board remembered.
  board.nameKnown = true;
  World().AddDevice(board);
  EXPECT_TRUE(DeviceSearch::SearchAndPairBoards(sighting));
  EXPECT_EQ(CountCalls("BluetoothFindFirstDevice"), 1 + 2);
  EXPECT_EQ(CountCalls("BluetoothSetServiceState"), 0);
  EXPECT_FALSE(State().hidServiceEnabled);
}

TEST_F(BluetoothTest, PairBoardRemovesARememberedBoardAndFallsBackToNoPasskey) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.remembered = true;  // remembered but not authenticated
  board.refusesPasskey = true;
  board.acceptsWithoutPasskey = true;
  World().AddDevice(board);
  DeviceSearch::BoardSighting sighting;
  bool radioMissing = false;
  EXPECT_TRUE(DeviceSearch::FindRememberedBoard(sighting, radioMissing));
  EXPECT_FALSE(radioMissing);
  EXPECT_EQ(CountCalls("BluetoothRemoveDevice"), 1);
  EXPECT_EQ(CountCalls("BluetoothAuthenticateDevice"), 2) << "with passkey, then without";
  EXPECT_TRUE(State().authenticated && State().hidServiceEnabled);
}

TEST_F(BluetoothTest, ConnectedBoardWithoutServicesGetsItsHidServiceEnabled) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.remembered = board.authenticated = board.connected = true;
  World().AddDevice(board);
  DeviceSearch::BoardSighting sighting;
  bool radioMissing = false;
  EXPECT_TRUE(DeviceSearch::FindRememberedBoard(sighting, radioMissing));
  EXPECT_TRUE(State().hidServiceEnabled);
  EXPECT_EQ(CountCalls("BluetoothSetServiceState"), 1);
}

TEST_F(BluetoothTest, RemovalForgetsTheBoardAndIsBoundedWhenItKeepsFailing) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.SetPaired(true);
  World().AddDevice(board);
  Kestrel::RemoveBoardPairing(Kestrel::kBoardBluetoothName, OrxString(L"191d2a3b4c"), Kestrel::kCloseBudgetMs);
  EXPECT_FALSE(State().remembered);

  World().Update(kBoardAddress, [](BluetoothDeviceState& d) {
    d.remembered = d.authenticated = true;
    d.failsRemoval = true;
  });
  uint64_t start = posix::NowMicros();
  Kestrel::RemoveBoardPairing(Kestrel::kBoardBluetoothName, OrxString(L"191d2a3b4c"), Kestrel::kCloseBudgetMs);
  EXPECT_TRUE(State().remembered);
  // The removal pass and one waiting pass, listings without an inquiry and the pause between.
  EXPECT_LE(posix::NowMicros() - start, 1'000'000u) << "the waiting passes are bounded";

  // A slow removal spends the close's time too: 1.5 s left, 0.6 s of them in the removal, leave
  // no room for the look again.
  World().Update(kBoardAddress, [](BluetoothDeviceState& d) { d.removalMicros = 600'000; });
  start = posix::NowMicros();
  Kestrel::RemoveBoardPairing(Kestrel::kBoardBluetoothName, OrxString(L"191d2a3b4c"), 1500);
  EXPECT_LE(posix::NowMicros() - start, 1'500'000u) << "the look again came after the time left";
}

// Windows answers remembered devices from its records: a board switched off is still listed,
// not connected, and its pairing can be removed.
TEST_F(BluetoothTest, RemovalOfABoardOutOfRangeRemovesItsPairing) {
  World().AddRadio(kRadioAddress);
  BluetoothDeviceState board = Board();
  board.remembered = board.authenticated = true;
  board.inRange = false;
  World().AddDevice(board);
  Kestrel::RemoveBoardPairing(Kestrel::kBoardBluetoothName, OrxString(L"191d2a3b4c"), Kestrel::kCloseBudgetMs);
  EXPECT_EQ(CountCalls("BluetoothRemoveDevice"), 1);
  EXPECT_EQ(CountCalls("BluetoothFindFirstDevice"), 1) << "removed in the removal pass";
  EXPECT_FALSE(State().remembered);
}

}  // namespace
