// The resources of the built plug-in file, read the way Windows and the host read them.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kDll[] = L"PlankScale.kymdll";
constexpr WORD kLanguage = 0x1409;

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* key) {
  std::wstring path = std::wstring(L"\\StringFileInfo\\140904e4\\") + key;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(PluginResources, VersionBlock) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(kDll, &ignored);
  ASSERT_GT(size, 0u) << GetLastError();
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(kDll, 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 400u << 16);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00080000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 400u << 16);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, 0x40004u);
  EXPECT_EQ(fixed->dwFileType, 2u);
  EXPECT_EQ(fixed->dwFileSubtype, 0u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x1409);
  EXPECT_EQ(translation[1], 0x04E4);

  EXPECT_EQ(VersionString(block, L"ExtensionCLSID"), L"{FA71E7E6-3A94-4926-AF10-0DE56EF53424}");
  EXPECT_EQ(VersionString(block, L"ExtVersion"), L"1.1");
  EXPECT_EQ(VersionString(block, L"ExtensionType"), L"DeviceEnabler");
  EXPECT_EQ(VersionString(block, L"FileDescription"), L"Wii Balance Board");
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.1");
  EXPECT_EQ(VersionString(block, L"InternalID"), L"1");
  EXPECT_EQ(VersionString(block, L"InternalName"), L"PlankScale");
  EXPECT_EQ(VersionString(block, L"InternalVersion"), L"18.00");
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"PlankScale.kymdll");
  EXPECT_EQ(VersionString(block, L"ProductName"), L"Kymora");
  EXPECT_EQ(VersionString(block, L"ProductVersion"), L"8.0");
  EXPECT_GE(VersionString(block, L"BuildDate").size(), 10u);
}

class PluginAsData : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(kDll, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string Resource(LPCWSTR type, WORD id, WORD language) {
    HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), language);
    if (!found) return "<missing>";
    HGLOBAL loaded = LoadResource(module_, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return std::string(data, SizeofResource(module_, found));
  }
  HMODULE module_ = nullptr;
};

TEST_F(PluginAsData, ControlListsInTheirLanguage) {
  std::string device = Resource(RT_RCDATA, 105, kLanguage);
  ASSERT_EQ(device.size(), 1678u);
  EXPECT_EQ(device.rfind("/*\r\n * PlankScale Device Control List\r\n", 0), 0u);
  EXPECT_EQ(device.substr(device.size() - 22), "} // Batt warning \r\n\r\n");
  std::string amp = Resource(RT_RCDATA, 107, kLanguage);
  ASSERT_EQ(amp.size(), 381u);
  EXPECT_EQ(amp.substr(amp.size() - 3), "}\r\n");
}

TEST_F(PluginAsData, StringTableBlockSeven) {
  std::string block = Resource(RT_STRING, 7, kLanguage);
  ASSERT_NE(block, "<missing>");
  // Sixteen counted UTF-16 strings for ids 96 to 111.
  std::vector<std::wstring> strings;
  const auto* p = reinterpret_cast<const wchar_t*>(block.data());
  const auto* end = p + block.size() / sizeof(wchar_t);
  while (p < end && strings.size() < 16) {
    size_t n = static_cast<size_t>(*p++);
    strings.emplace_back(p, n);
    p += n;
  }
  ASSERT_EQ(strings.size(), 16u);
  for (size_t i = 0; i < 16; ++i) {
    if (i == 5) EXPECT_EQ(strings[i], L"Wii Balance Board");
    else if (i == 6) EXPECT_EQ(strings[i], L"Nintendo");
    else EXPECT_TRUE(strings[i].empty()) << "string " << 96 + i;
  }
}

TEST_F(PluginAsData, ManifestAsksToRunAsInvoker) {
  std::string manifest = Resource(RT_MANIFEST, 2, 0x0409);
  ASSERT_NE(manifest, "<missing>");
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
}

}  // namespace
