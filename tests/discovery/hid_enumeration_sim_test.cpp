// The HID interface enumeration: one entry at a time, with what each device says of itself.
#include "discovery/dev_reg_enum.h"
#include "discovery/hid_library.h"
#include "platform/posix/control.h"
#include "testing/scripted_endpoint.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using testing_support::ScriptedDevice;

GUID HidClass() {
  HidDllTable::Instance().Acquire();
  GUID hidClass;
  HidDllTable::Instance().HidD_GetHidGuid(&hidClass);
  return hidClass;
}

sim::HidIdentity Board(const wchar_t* serial) {
  sim::HidIdentity identity;
  identity.vendorId = 0x057E;
  identity.productId = 0x0306;
  identity.product = L"Nintendo RVL-WBC-01";
  identity.manufacturer = L"Nintendo";
  identity.serialNumber = serial;
  return identity;
}

class HidEnumerationTest : public ::testing::Test {
 protected:
  void SetUp() override { handlesBefore_ = posix::LiveHandleCount(); }
  void TearDown() override { EXPECT_EQ(posix::LiveHandleCount(), handlesBefore_) << "a device handle was left open"; }
  int handlesBefore_ = 0;
};

TEST_F(HidEnumerationTest, NoInterfacesEndsAtOnceAndStaysEnded) {
  DevRegEnumHID enumerator(HidClass());
  EXPECT_FALSE(enumerator.Next());
  EXPECT_FALSE(DevRegEnum::HasDeviceInfoSet()) << "the set is destroyed at the end";
  EXPECT_EQ(enumerator.CurrentIndex(), -1);
  EXPECT_FALSE(enumerator.Next());
}

TEST_F(HidEnumerationTest, EntriesCarryIdentifiersAndStringsAndAnUnopenableOneIsBlank) {
  ScriptedDevice board;
  board.Endpoint().SetIdentity(Board(L"0017ab3c4d5e"));
  ScriptedDevice locked;
  locked.Endpoint().SetIdentity(Board(L"001122334455"));
  locked.Endpoint().RefuseOpen(ERROR_ACCESS_DENIED);

  DevRegEnumHID enumerator(HidClass());
  ASSERT_TRUE(enumerator.Next());
  EXPECT_TRUE(enumerator.HasIds(0x057E, 0x0306));
  EXPECT_FALSE(enumerator.HasIds(0x057E, 0x0330));
  EXPECT_EQ(enumerator.GetSerialNumber(), OrxString(L"0017ab3c4d5e"));
  EXPECT_EQ(enumerator.GetName(), OrxString(L"Nintendo RVL-WBC-01"));
  EXPECT_EQ(enumerator.GetManufacturer(), OrxString(L"Nintendo"));

  // The locked device is still an entry, but never looks like the board before it.
  ASSERT_TRUE(enumerator.Next());
  EXPECT_FALSE(enumerator.HasIds(0x057E, 0x0306));
  EXPECT_TRUE(enumerator.GetSerialNumber().IsEmpty());
  EXPECT_EQ(enumerator.GetHandle(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(enumerator.Next());
}

TEST_F(HidEnumerationTest, BaseEnumeratorReadsTheRegistryPropertiesOfEachEntry) {
  ScriptedDevice board;
  board.Endpoint().SetIdentity(Board(L"0017ab3c4d5e"));
  DevRegEnum enumerator(HidClass());
  ASSERT_TRUE(enumerator.ReadEntry(0));
  EXPECT_EQ(enumerator.GetManufacturer(), OrxString(L"(Standard system devices)")) << "the system's, not HID's";
  EXPECT_TRUE(enumerator.GetName().IsEmpty()) << "the simulated system gives no friendly name";
  EXPECT_FALSE(enumerator.ReadEntry(1));
}

TEST_F(HidEnumerationTest, HandedOverHandleStaysOpenForItsNewOwner) {
  ScriptedDevice board;
  board.Endpoint().SetIdentity(Board(L"0017ab3c4d5e"));
  HANDLE handle = INVALID_HANDLE_VALUE;
  {
    DevRegEnumHID enumerator(HidClass());
    ASSERT_TRUE(enumerator.Next());
    handle = enumerator.GetHandle();
  }
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(board.Endpoint().OpenFileCount(), 1);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST(HidEnumeration, TrimToSegmentKeepsWhatFollowsTheLastSeparatorUpToABackslash) {
  DevRegEnumHID enumerator(HidClass());
  OrxString text(L"HID\\VID_057E&PID_0306&Col01\\8");
  enumerator.TrimToSegment(text, L'&');
  EXPECT_EQ(text, OrxString(L"Col01"));
  OrxString plain(L"abc");
  enumerator.TrimToSegment(plain, L'&');
  EXPECT_EQ(plain, OrxString(L"abc"));
}

}  // namespace
