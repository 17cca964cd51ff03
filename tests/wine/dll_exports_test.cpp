// The built plug-in file itself, loaded as the host loads it, by name and through GetProcAddress.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ClassInfo {
  unsigned char guid[16];
  const wchar_t* className;
  const wchar_t* deviceName;
};
// 24 bytes in the 32-bit host; the 64-bit build widens the two pointers.
static_assert(sizeof(ClassInfo) == sizeof(ClassInfo::guid) + 2 * sizeof(void*), "the host's record");

class PluginDll : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(L"PlankScale.kymdll");
    ASSERT_NE(module_, nullptr) << "LoadLibraryW failed with " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  template <typename F>
  F Export(const char* name) {
    FARPROC address = GetProcAddress(module_, name);
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<F>(reinterpret_cast<void*>(address));
  }
  HMODULE module_ = nullptr;
};

TEST_F(PluginDll, ExportsTheThirteenFunctions) {
  for (const char* name : {"FindDevice", "Initialise", "IsFailed", "ReadLine", "WriteBuffer", "ReadBuffer",
                           "ReadBuffSize", "FlushReadBuffer", "GetLastErrorMsg", "GetUniqueID", "GetBaudRate",
                           "GetDeviceClassInfo", "CloseAll"})
    EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
}

TEST_F(PluginDll, AnswersWithNoDevice) {
  auto getBaudRate = Export<int(__cdecl*)()>("GetBaudRate");
  auto findDevice = Export<int(__cdecl*)(int*)>("FindDevice");
  auto getUniqueId = Export<int(__cdecl*)(int, int*)>("GetUniqueID");
  auto isFailed = Export<int(__cdecl*)(int)>("IsFailed");
  auto closeAll = Export<int(__cdecl*)()>("CloseAll");
  ASSERT_TRUE(getBaudRate && findDevice && getUniqueId && isFailed && closeAll);
  EXPECT_EQ(getBaudRate(), 0);
  int index = 4242;
  EXPECT_EQ(findDevice(&index), 0);
  EXPECT_EQ(index, 4242);
  int id = 99;
  EXPECT_EQ(getUniqueId(0, &id), 0);
  EXPECT_EQ(id, 99);
  EXPECT_EQ(isFailed(0), 1);
  EXPECT_EQ(isFailed(-5), 1);
  EXPECT_EQ(closeAll(), 1);
}

TEST_F(PluginDll, ClassInformationFillsTheHostsRecordAndNoMore) {
  auto getInfo = Export<int(__cdecl*)(void*)>("GetDeviceClassInfo");
  ASSERT_TRUE(getInfo);
  unsigned char record[sizeof(ClassInfo) + 8];
  std::memset(record, 0xCC, sizeof record);
  ASSERT_EQ(getInfo(record), 1);
  const unsigned char guid[16] = {0xb8, 0x55, 0xbc, 0x96, 0xef, 0xab, 0x51, 0x4c,
                                  0x91, 0x5c, 0xf0, 0x2f, 0x47, 0x17, 0x82, 0x04};
  EXPECT_EQ(std::memcmp(record, guid, 16), 0);
  for (std::size_t i = sizeof(ClassInfo); i < sizeof record; ++i) EXPECT_EQ(record[i], 0xCC) << "byte " << i;
  ClassInfo info;
  std::memcpy(&info, record, sizeof info);
  EXPECT_EQ(std::wstring(info.className), L"Human Interface Devices");
  EXPECT_EQ(std::wstring(info.deviceName), L"Wii Balance Board");
}

TEST_F(PluginDll, NoRadioMessageAfterASearch) {
  auto findDevice = Export<int(__cdecl*)(int*)>("FindDevice");
  auto getMessage = Export<int(__cdecl*)(int, char*)>("GetLastErrorMsg");
  ASSERT_TRUE(findDevice && getMessage);
  int index = -1;
  EXPECT_EQ(findDevice(&index), 0) << "Wine reports no Bluetooth radio";
  int size = getMessage(-1, nullptr);
  ASSERT_GT(size, 1);
  std::string text(static_cast<size_t>(size) + 2, 'x');
  EXPECT_EQ(getMessage(-1, &text[0]), size);
  EXPECT_EQ(text[static_cast<size_t>(size) - 1], '\0');
  EXPECT_EQ(text[static_cast<size_t>(size)], 'x') << "wrote past the message";
  EXPECT_EQ(std::string(text.c_str()).size() + 1, static_cast<size_t>(size));
  EXPECT_STREQ(text.c_str(),
               "No Bluetooth radio was found. Check that your Bluetooth interface is connected and that you have "
               "the Microsoft Bluetooth driver software.");
}

}  // namespace
