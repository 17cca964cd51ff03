// FindDevice end to end over the simulated world: Bluetooth search and pairing, the HID
// enumeration, matching, and what the host is told when nothing is found.
#include "discovery/device_search.h"
#include "platform/posix/control.h"
#include "plugin/exports.h"
#include "sim/world.h"
#include "testing/clock_hold.h"
#include "testing/eventually.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uint64_t kRadio = sim::kDefaultRadioAddress;
constexpr uint64_t kFirstBoard = sim::kDefaultBoardAddress;
constexpr uint64_t kSecondBoard = 0x0019fd001122;

std::string PluginMessage() {
  std::string text(static_cast<size_t>(GetLastErrorMsg(-1, nullptr)), '\0');
  GetLastErrorMsg(-1, &text[0]);
  text.pop_back();
  return text;
}

class DeviceSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::UseVirtualClock(true);
    CloseAll();
    DeviceSearch::ResetForTesting();
    sim::World::Instance().Clear();
  }
  void TearDown() override {
    CloseAll();
    DeviceSearch::ResetForTesting();
    sim::World::Instance().Clear();
    posix::UseVirtualClock(false);
  }
  static sim::SimulatedBoard Board(uint64_t address, bool paired) {
    sim::SimulatedBoard board;
    board.bluetooth.address = address;
    board.bluetooth.SetPaired(paired);
    return board;
  }
  static void Build(std::vector<sim::SimulatedBoard> boards, bool withRadio = true, int timeZoneMinutes = 0) {
    sim::Scenario scenario;
    if (withRadio) scenario.radios.push_back({kRadio, L"radio"});
    scenario.boards = std::move(boards);
    scenario.timeZoneMinutes = timeZoneMinutes;
    sim::World::Instance().Build(scenario);
  }
  static sim::BluetoothDeviceState Bluetooth(uint64_t address) {
    sim::BluetoothDeviceState state;
    sim::BluetoothWorld::Instance().Device(address, state);
    return state;
  }
  static int Calls(const std::string& name) {
    auto calls = sim::BluetoothWorld::Instance().Calls();
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
  }
};

TEST_F(DeviceSearchTest, NoRadioGivesTheNoRadioMessage) {
  Build({}, false);
  int index = 77;
  EXPECT_EQ(FindDevice(&index), 0);
  EXPECT_EQ(index, 77);
  EXPECT_TRUE(DeviceSearch::RadioMissing());
  EXPECT_EQ(PluginMessage(),
            "No Bluetooth radio was found. Check that your Bluetooth interface is connected and that you have the "
            "Microsoft Bluetooth driver software.");
}

TEST_F(DeviceSearchTest, UnpairedBoardIsPairedFoundOnceAndTheNextCallEndsTheEnumeration) {
  Build({Board(kFirstBoard, false)});
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(Bluetooth(kFirstBoard).authenticated);
  EXPECT_EQ(DeviceSearch::BoardAddressText(), OrxString(L"17ab3c4d5e"));
  int searchesAfterFirst = Calls("BluetoothFindFirstDevice");

  EXPECT_EQ(FindDevice(&index), 0) << "the board is handed out once";
  EXPECT_EQ(Calls("BluetoothFindFirstDevice"), searchesAfterFirst) << "no Bluetooth work mid-enumeration";
  EXPECT_EQ(PluginMessage(), "Wii Balance Board not responding or powered off.");

  EXPECT_EQ(FindDevice(&index), 0) << "already open: skipped";
  EXPECT_GT(Calls("BluetoothFindFirstDevice"), searchesAfterFirst) << "a new enumeration searches again";
}

TEST_F(DeviceSearchTest, OnlyTheBoardTheBluetoothSearchNamedIsChosenAndTheNextSearchNamesAnother) {
  Build({Board(kFirstBoard, true), Board(kSecondBoard, true)});
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(DeviceSearch::BoardAddressText(), OrxString(L"17ab3c4d5e")) << "the first board sighted";
  EXPECT_EQ(FindDevice(&index), 0) << "the other board's serial number does not match that address";
  ASSERT_EQ(FindDevice(&index), 1) << "a new search passes over the board handed out and names the other";
  EXPECT_EQ(index, 1);
  EXPECT_EQ(DeviceSearch::BoardAddressText(), OrxString(L"19fd001122"));
  EXPECT_EQ(FindDevice(&index), 0);
  EXPECT_EQ(FindDevice(&index), 0) << "both boards are open: a new search finds neither";
  EXPECT_EQ(CloseAll(), 1);
  ASSERT_EQ(FindDevice(&index), 1);
  EXPECT_EQ(index, 0) << "indices start again after CloseAll";
}

TEST_F(DeviceSearchTest, HidDeviceWithoutASuccessfulBluetoothSearchIsNotChosen) {
  // Paired in the system, but the radio is gone: no search succeeds, so nothing is trusted.
  Build({Board(kFirstBoard, true)}, false);
  int index = -1;
  EXPECT_EQ(FindDevice(&index), 0);
  EXPECT_FALSE(DeviceSearch::BoardPaired());
}

TEST_F(DeviceSearchTest, TheSerialNumberMustNameTheBoardInEitherCase) {
  Build({Board(kFirstBoard, true)});
  // Paired, so the Bluetooth layer succeeds; but the HID device says nothing of its address.
  sim::HidIdentity identity = sim::World::Instance().Board(0)->Identity();
  identity.serialNumber.clear();
  sim::World::Instance().Board(0)->SetIdentity(identity);
  int index = -1;
  EXPECT_EQ(FindDevice(&index), 0);
  EXPECT_TRUE(DeviceSearch::BoardPaired());

  identity.serialNumber = L"0017AB3C4D5E";  // as some stacks write it
  sim::World::Instance().Board(0)->SetIdentity(identity);
  EXPECT_EQ(FindDevice(&index), 1);
}

// What a real Windows stack takes its time over: the HID device of a board whose service was
// just enabled arrives through plug and play seconds later, and a board synced with another host
// since it was paired is remembered but never connects until it is paired again.
struct SlowStack {
  const char* what;
  uint64_t hidArrivalMicros;
  bool staleLinkKey;
  int timeZoneMinutes;  // of the times the Bluetooth API gives: Microsoft does not say which
};

void PrintTo(const SlowStack& stack, std::ostream* out) { *out << stack.what; }

class ASlowStack : public DeviceSearchTest, public ::testing::WithParamInterface<SlowStack> {};

TEST_P(ASlowStack, StillFindsTheBoard) {
  sim::SimulatedBoard board = Board(kFirstBoard, false);
  board.bluetooth.hidArrivalMicros = GetParam().hidArrivalMicros;
  if (GetParam().staleLinkKey) board.bluetooth.SetStaleLinkKey();
  Build({board}, true, GetParam().timeZoneMinutes);
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1) << PluginMessage();
  EXPECT_EQ(Initialise(index), 1);
  EXPECT_EQ(Calls("BluetoothRemoveDevice"), GetParam().staleLinkKey ? 1 : 0) << "paired again, once";
  EXPECT_FALSE(Bluetooth(kFirstBoard).staleLinkKey);
}

INSTANTIATE_TEST_SUITE_P(Windows, ASlowStack,
                         ::testing::Values(SlowStack{"the HID device 0.8 s after the service", 800'000, false, 0},
                                           SlowStack{"the HID device 4 s after the service", 4'000'000, false, 0},
                                           SlowStack{"a stale link key", sim::kDefaultHidArrivalMicros, true, 0},
                                           SlowStack{"a stale link key, its sightings in local time west of UTC",
                                                     sim::kDefaultHidArrivalMicros, true, -5 * 60}));

TEST_F(DeviceSearchTest, PairedButSilentBoardGivesThePairedMessage) {
  sim::SimulatedBoard board = Board(kFirstBoard, true);
  board.bluetooth.hidServiceEnabled = false;
  board.bluetooth.otherServices = 1;  // listed services, so nobody enables HID
  Build({board});
  int index = -1;
  EXPECT_EQ(FindDevice(&index), 0);
  EXPECT_TRUE(DeviceSearch::BoardPaired());
  EXPECT_EQ(PluginMessage(),
            "Wii Balance Board is paired but not responding. Please refer to the Troubleshooting page in Kymora Help.");
}

TEST_F(DeviceSearchTest, KeepPairedDecidesWhetherClosingRemovesThePairing) {
  Build({Board(kFirstBoard, true)});
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  int before = static_cast<int>(sim::BluetoothWorld::Instance().Calls().size());
  CloseAll();
  EXPECT_EQ(static_cast<int>(sim::BluetoothWorld::Instance().Calls().size()), before)
      << "keep-paired on: no Bluetooth call at all";
  EXPECT_TRUE(Bluetooth(kFirstBoard).remembered);

  ASSERT_EQ(FindDevice(&index), 1);
  const char off[] = ">dev/bb_keepPaired 1\n";
  WriteBuffer(index, off, static_cast<int>(sizeof off - 1), 0);
  CloseAll();
  EXPECT_FALSE(Bluetooth(kFirstBoard).remembered) << "keep-paired off: the pairing is removed";
}

// Removing a pairing lists the remembered boards, which needs no inquiry: the close stays within
// 2 s a board, also on a dying link whose LED-off write blocks, and also when the system will not
// forget the board and it is looked at again.
struct PairingRemoval {
  const char* what;
  uint64_t writeDelayMicros;
  bool fails;
};

void PrintTo(const PairingRemoval& removal, std::ostream* out) { *out << removal.what; }

class APairingRemoval : public DeviceSearchTest, public ::testing::WithParamInterface<PairingRemoval> {};

TEST_P(APairingRemoval, KeepsTheCloseWithinTwoSeconds) {
  const int threads = posix::LiveThreadCount();
  Build({Board(kFirstBoard, true)});
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  ASSERT_EQ(Initialise(index), 1);
  const char off[] = ">dev/bb_keepPaired 1\n";
  WriteBuffer(index, off, static_cast<int>(sizeof off - 1), 0);
  sim::World::Instance().Board(0)->DelayWrites(GetParam().writeDelayMicros);
  const bool fails = GetParam().fails;
  sim::BluetoothWorld::Instance().Update(kFirstBoard, [fails](sim::BluetoothDeviceState& d) { d.failsRemoval = fails; });
  const uint64_t start = posix::NowMicros();
  CloseAll();
  EXPECT_LT(posix::NowMicros() - start, 2'000'000u);
  EXPECT_EQ(Bluetooth(kFirstBoard).remembered, fails) << "the pairing is removed";
  sim::World::Instance().Board(0)->DelayWrites(0);
  // A reader the close left in its write ends once the write does.
  EXPECT_TRUE(testing_support::Eventually([&] { return posix::LiveThreadCount() == threads; }, 30000));
}

INSTANTIATE_TEST_SUITE_P(Links, APairingRemoval,
                         ::testing::Values(PairingRemoval{"a live link", 0, false},
                                           PairingRemoval{"a dying link, its writes blocking 13 s", 13'000'000, false},
                                           PairingRemoval{"a live link, the removal failing", 0, true},
                                           PairingRemoval{"a dying link, the removal failing", 13'000'000, true}));

// One host thread is in an open whose write blocks when another closes everything and opens the
// board again: the old device goes when that open lets go of it, and must not unpair the board the
// new device holds. The finding thread is the platform's own, so the clock moves only while it
// waits, and the old write's end comes after it.
TEST_F(DeviceSearchTest, TheLateCloseOfADeviceLeavesThePairingOfTheBoardOpenedAgain) {
  Build({Board(kFirstBoard, true)});
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  const char off[] = ">dev/bb_keepPaired 1\n";
  WriteBuffer(index, off, static_cast<int>(sizeof off - 1), 0);
  std::shared_ptr<sim::BalanceBoard> board = sim::World::Instance().Board(0);
  board->DelayWrites(8'000'000);  // outlasts the search and open below
  std::thread open;
  {
    testing_support::ClockHold still;
    open = std::thread([&] { Initialise(index); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // inside the open's first write
    CloseAll();
    board->DelayWrites(0);
  }
  struct Again {
    int index = -1;
    int opened = 0;
  } again;
  HANDLE finder = CreateThread(
      nullptr, 0,
      [](void* argument) -> DWORD {
        auto* a = static_cast<Again*>(argument);
        if (FindDevice(&a->index) == 1) a->opened = Initialise(a->index);
        return 0;
      },
      &again, 0, nullptr);
  ASSERT_NE(finder, nullptr);
  EXPECT_EQ(WaitForSingleObject(finder, 20000), WAIT_OBJECT_0);
  CloseHandle(finder);
  ASSERT_EQ(again.opened, 1);
  open.join();
  EXPECT_TRUE(Bluetooth(kFirstBoard).remembered) << "the old device's close unpaired the board held again";
  EXPECT_EQ(IsFailed(again.index), 0);
}

// The host's threads are its own business: a search on one and CloseAll on another take turns.
TEST_F(DeviceSearchTest, FindDeviceBesideCloseAllOnAnotherThreadIsSafe) {
  Build({Board(kFirstBoard, true)});
  std::atomic<bool> done{false};
  std::thread searcher([&] {
    for (int search = 0; search < 12; ++search) {
      int index = -1;
      FindDevice(&index);  // found, or stopped by the close
    }
    done.store(true);
  });
  while (!done.load()) EXPECT_EQ(CloseAll(), 1);
  searcher.join();
  EXPECT_EQ(CloseAll(), 1);
  int index = -1;
  EXPECT_EQ(FindDevice(&index), 1) << "a fresh search after the last CloseAll";
  EXPECT_EQ(index, 0);
}

// Two threads close everything at once beside a thread that searches again and again: each close
// waits for the search's Bluetooth call in progress, not for search after search begun after it.
// (The bound leaves room for a closing thread the machine holds up while the searcher runs on.)
TEST_F(DeviceSearchTest, TwoClosesAtOnceWaitForTheBluetoothCallInProgressOnly) {
  Build({});  // nothing in range: every search is one inquiry and finds nothing
  std::atomic<bool> done{false};
  std::thread searcher([&] {
    while (!done.load()) {
      int index = -1;
      FindDevice(&index);
    }
  });
  std::atomic<uint64_t> longest{0};
  for (int round = 0; round < 20; ++round) {
    std::atomic<int> ready{0};
    auto close = [&] {
      ++ready;
      while (ready.load() < 2) continue;
      const uint64_t start = posix::NowMicros();
      CloseAll();
      const uint64_t took = posix::NowMicros() - start;
      uint64_t seen = longest.load();
      while (took > seen && !longest.compare_exchange_weak(seen, took)) continue;
    };
    std::thread first(close), second(close);
    first.join();
    second.join();
  }
  done.store(true);
  searcher.join();
  const uint64_t inquiry = 2u * sim::kInquiryUnitMs * 1000u;
  EXPECT_LT(longest.load(), 10 * inquiry) << "a close waited through searches begun after it";
}

TEST_F(DeviceSearchTest, ABoardWhoseDeviceFailedIsFoundAgainAsANewDevice) {
  Build({Board(kFirstBoard, true)});
  int index = -1;
  ASSERT_EQ(FindDevice(&index), 1);
  ASSERT_EQ(index, 0);
  std::shared_ptr<sim::BalanceBoard> board = sim::World::Instance().Board(0);
  board->PowerOff();
  EXPECT_EQ(Initialise(0), 0);
  EXPECT_EQ(IsFailed(0), 1);
  board->PowerOn();

  EXPECT_EQ(FindDevice(&index), 0) << "the enumeration that found it ends";
  ASSERT_EQ(FindDevice(&index), 1) << "a failed device does not count as open";
  EXPECT_EQ(index, 1);
  EXPECT_EQ(Initialise(1), 1);
  EXPECT_EQ(IsFailed(1), 0);
}

}  // namespace
