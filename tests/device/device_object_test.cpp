// The device object's life: construction, the registry, the message read, stopping the reader.
#include "testing/fake_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using testing_support::FakeDevice;
using Kestrel::DeviceRegistry;

TEST(DeviceObject, ConstructedButNeverInitialised) {
  int before = DeviceRegistry::Count();
  {
    FakeDevice device(nullptr, L"Board", L"0011aabbccdd");
    EXPECT_FALSE(device.IsFailed());
    EXPECT_EQ(DeviceRegistry::Count(), before + 1);
    EXPECT_EQ(device.ReadBuffSize(), 0);
    char line[16];
    EXPECT_FALSE(device.ReadLine(line, sizeof line, 0));
    device.StopReader();
    device.StopReader();  // a second stop does nothing
    EXPECT_TRUE(device.ReaderStopRequested());
  }
  EXPECT_EQ(DeviceRegistry::Count(), before);
}

TEST(DeviceObject, ABoardIsOpenWhileAnyDeviceWithItsSerialHasNotFailed) {
  EXPECT_FALSE(DeviceRegistry::IsAlreadyOpen(L"0011aabbccdd"));
  auto first = std::make_unique<FakeDevice>(nullptr, L"Board", L"0011aabbccdd");
  auto second = std::make_unique<FakeDevice>(nullptr, L"Board", L"0011aabbccdd");
  EXPECT_TRUE(DeviceRegistry::IsAlreadyOpen(L"0011aabbccdd"));
  EXPECT_FALSE(DeviceRegistry::IsAlreadyOpen(L"0011AABBCCDD")) << "serials compare case-sensitively";
  EXPECT_FALSE(DeviceRegistry::IsAlreadyOpen(L"0011aabbccd"));
  first->Fail();
  EXPECT_TRUE(DeviceRegistry::IsAlreadyOpen(L"0011aabbccdd")) << "a failed first open must not hide the second";
  second->Fail();
  EXPECT_FALSE(DeviceRegistry::IsAlreadyOpen(L"0011aabbccdd"));
  first.reset();
  second.reset();
  EXPECT_FALSE(DeviceRegistry::IsAlreadyOpen(L"0011aabbccdd"));
}

TEST(DeviceObject, MessageIsDeliveredOnceThenCleared) {
  FakeDevice device(nullptr, L"Nintendo RVL-WBC-01", L"1");
  EXPECT_EQ(device.GetLastErrorMsg(nullptr), 1);
  char announced[4] = "abc";
  EXPECT_EQ(device.GetLastErrorMsg(announced), 1);
  EXPECT_STREQ(announced, "") << "the one byte announced holds the terminator";

  device.Disconnect(0x48F);
  const char expected[] =
      "The Nintendo RVL-WBC-01 has disconnected from your computer. Check the batteries, or bring it closer. "
      "(Error $48F)";
  const int size = static_cast<int>(std::strlen(expected)) + 1;
  EXPECT_EQ(device.GetLastErrorMsg(nullptr), size);
  EXPECT_EQ(device.GetLastErrorMsg(nullptr), size) << "asking for the size keeps the message";
  std::string buffer(static_cast<size_t>(size), 'x');
  EXPECT_EQ(device.GetLastErrorMsg(&buffer[0]), size);
  EXPECT_STREQ(buffer.c_str(), expected);
  EXPECT_EQ(device.GetLastErrorMsg(nullptr), 1);
}

TEST(DeviceObject, DisconnectCodeWithTopBitSetPrintsEightDigits) {
  FakeDevice device(nullptr, L"Board", L"1");
  device.Disconnect(0xC000009Du);
  std::string text(200, '\0');
  device.GetLastErrorMsg(&text[0]);
  EXPECT_NE(text.find("(Error $C000009D)"), std::string::npos) << text;
}

TEST(DeviceObject, InitialiseOnFailedDeviceStartsNothing) {
  FakeDevice device(nullptr, L"Board", L"1");
  device.Fail();
  EXPECT_FALSE(device.Initialise());
  EXPECT_EQ(device.ReadBuffSize(), 0);
}

}  // namespace
