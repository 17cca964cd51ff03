// The plug-in's version resource, read through the system's version API as the library attach
// reads it. Natively this checks the generated block and the POSIX reader; under Wine, the
// resource compiler's block and Wine's reader.
#include "plugin/module_version.h"

#include "plugin/library.h"
#include "plugin/module_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class VersionBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ModuleFileName(PluginModuleHandle());
    ASSERT_FALSE(path_.empty());
    DWORD handle = 1;
    DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    block_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, block_.data()));
  }
  std::wstring Text(const wchar_t* key) {
    void* value = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\140904e4\\") + key;
    if (!VerQueryValueW(block_.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
    std::wstring text(static_cast<const wchar_t*>(value));
    EXPECT_EQ(length, text.size() + 1) << "characters with the terminator";
    return text;
  }
  std::wstring path_;
  std::vector<unsigned char> block_;
};

TEST_F(VersionBlock, FixedPartAndTranslation) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, value, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, 1u << 16 | 1);
  EXPECT_EQ(fixed.dwFileVersionLS, 400u << 16);
  EXPECT_EQ(fixed.dwProductVersionMS, 8u << 16);
  EXPECT_EQ(fixed.dwProductVersionLS, 400u << 16);
  EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed.dwFileFlags, 0u);
  EXPECT_EQ(fixed.dwFileOS, 0x40004u);
  EXPECT_EQ(fixed.dwFileType, 2u);
  EXPECT_EQ(fixed.dwFileSubtype, 0u);

  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  WORD translation[2];
  std::memcpy(translation, value, sizeof translation);
  EXPECT_EQ(translation[0], 0x1409);
  EXPECT_EQ(translation[1], 0x04E4);
}

TEST_F(VersionBlock, StringsAndKeyLookUp) {
  EXPECT_EQ(Text(L"ExtensionCLSID"), L"{FA71E7E6-3A94-4926-AF10-0DE56EF53424}");
  EXPECT_EQ(Text(L"ExtVersion"), L"1.1");
  EXPECT_EQ(Text(L"ExtensionType"), L"DeviceEnabler");
  EXPECT_EQ(Text(L"FileDescription"), L"Wii Balance Board");
  EXPECT_EQ(Text(L"FileVersion"), L"1.1");
  EXPECT_EQ(Text(L"InternalID"), L"1");
  EXPECT_EQ(Text(L"InternalName"), L"PlankScale");
  EXPECT_EQ(Text(L"InternalVersion"), L"18.00");
  EXPECT_EQ(Text(L"OriginalFilename"), L"PlankScale.kymdll");
  EXPECT_EQ(Text(L"ProductName"), L"Kymora");
  EXPECT_EQ(Text(L"ProductVersion"), L"8.0");
  EXPECT_GE(Text(L"BuildDate").size(), 10u);
  EXPECT_EQ(Text(L"Comments"), L"<missing>");
  // Keys match whatever their case.
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\stringfileinfo\\140904E4\\FILEVERSION", &value, &length));
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"1.1");
  EXPECT_FALSE(VerQueryValueW(block_.data(), L"\\StringFileInfo\\040904b0\\FileVersion", &value, &length));
}

TEST(ModuleVersion, WhatTheAttachReads) {
  ModuleVersion version = ReadModuleVersion(PluginModuleHandle());
  EXPECT_TRUE(version.fixedPartRead);
  EXPECT_EQ(version.fileVersionLS, 400u << 16);
  EXPECT_EQ(std::wstring(version.fileVersion.Chars()), L"1.1");
  EXPECT_EQ(std::wstring(version.description.Chars()), L"Wii Balance Board");
}

}  // namespace
