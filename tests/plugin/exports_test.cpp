// The exports as the host sees them before any board has been found.
#include "plugin/exports.h"

#include "discovery/device_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kNotFound[] =
    "Wii Balance Board cannot be found or paired. Please refer to the Troubleshooting page in Kymora Help.";

TEST(ExportsWithNoDevice, FixedAnswers) {
  EXPECT_EQ(GetBaudRate(), 0);
  int index = 12345;
  EXPECT_EQ(FindDevice(&index), 0);
  EXPECT_EQ(index, 12345);
  EXPECT_EQ(FindDevice(nullptr), 0);
  for (int i : {0, 1, -1, -7, 1 << 30}) {
    int id = 77;
    EXPECT_EQ(GetUniqueID(i, &id), 0);
    EXPECT_EQ(id, 77);
    EXPECT_EQ(IsFailed(i), 1);
    EXPECT_EQ(Initialise(i), 0);
    EXPECT_EQ(ReadBuffSize(i), 0);
    FlushReadBuffer(i);
    char buffer[8] = "keep";
    int size = sizeof buffer;
    EXPECT_EQ(ReadLine(i, buffer, size, 0), 0);
    EXPECT_EQ(ReadBuffer(i, buffer, &size, 0), 0);
    EXPECT_EQ(WriteBuffer(i, ">in/nachans\n", 12, 0), 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(size, 8);
  }
  EXPECT_EQ(GetLastErrorMsg(3, nullptr), 0);
  EXPECT_EQ(CloseAll(), 1);
}

TEST(ExportsWithNoDevice, ClassInformationRecord) {
  unsigned char record[sizeof(DeviceClassInfo) + 8];
  std::memset(record, 0xCC, sizeof record);
  ASSERT_EQ(GetDeviceClassInfo(reinterpret_cast<DeviceClassInfo*>(record)), 1);
  const unsigned char guid[16] = {0xb8, 0x55, 0xbc, 0x96, 0xef, 0xab, 0x51, 0x4c,
                                  0x91, 0x5c, 0xf0, 0x2f, 0x47, 0x17, 0x82, 0x04};
  EXPECT_EQ(std::memcmp(record, guid, 16), 0);
  for (size_t i = sizeof(DeviceClassInfo); i < sizeof record; ++i) EXPECT_EQ(record[i], 0xCC) << "byte " << i;
  const auto* info = reinterpret_cast<DeviceClassInfo*>(record);
  EXPECT_EQ(std::wstring(info->className), L"Human Interface Devices");
  EXPECT_EQ(std::wstring(info->deviceName), L"Wii Balance Board");
  EXPECT_EQ(GetDeviceClassInfo(nullptr), 0);
}

TEST(ExportsWithNoDevice, PluginLevelMessageIsReadAndNeverCleared) {
  DeviceSearch::ResetForTesting();  // no search has seen anything yet
  const int expected = static_cast<int>(std::strlen(kNotFound)) + 1;
  EXPECT_EQ(GetLastErrorMsg(-1, nullptr), expected);
  for (int round = 0; round < 2; ++round) {
    std::string buffer(static_cast<size_t>(expected) + 4, 'x');
    EXPECT_EQ(GetLastErrorMsg(-1, &buffer[0]), expected);
    EXPECT_STREQ(buffer.c_str(), kNotFound);
    EXPECT_EQ(buffer[static_cast<size_t>(expected)], 'x') << "wrote past the message";
  }
}

}  // namespace
