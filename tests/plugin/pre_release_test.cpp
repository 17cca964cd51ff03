// Which version texts and numbers make a pre-release announcement, and its text.
#include "plugin/pre_release.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kThisBuildLS = 400u << 16;  // 1.1.400.0

ModuleVersion Version(const wchar_t* text, DWORD fileVersionLS = kThisBuildLS,
                      const wchar_t* description = L"Wii Balance Board") {
  ModuleVersion version;
  version.fixedPartRead = true;
  version.fileVersionLS = fileVersionLS;
  version.fileVersion = text;
  version.description = description;
  return version;
}

// The announcement for a version, or "-" when there is none.
std::wstring Announcement(const ModuleVersion& version) {
  OrxString text = L"untouched";
  if (!PreReleaseAnnouncement(version, text)) return L"-";
  return text.Chars();
}

TEST(PreRelease, VersionTextsInTheirOrder) {
  EXPECT_EQ(Announcement(Version(L"1.1")), L"-");
  EXPECT_EQ(Announcement(Version(L"2.0 Beta")), L"Wii Balance Board 2.0 Beta");
  EXPECT_EQ(Announcement(Version(L"3.0 alpha 2")), L"Wii Balance Board 3.0 alpha 2");
  EXPECT_EQ(Announcement(Version(L"1.0 Final")), L"Wii Balance Board 1.0 Final");
  // "ev" is tested before "inal": a final revision is not announced.
  EXPECT_EQ(Announcement(Version(L"1.0 Final Rev 3")), L"-");
  EXPECT_EQ(Announcement(Version(L"1.0 Dev")), L"-");
  // "eta" wins over "ev", and "N/A" over everything.
  EXPECT_EQ(Announcement(Version(L"Rev 2 Beta")), L"Wii Balance Board Rev 2 Beta");
  EXPECT_EQ(Announcement(Version(L"N/A Beta")), L"-");
  EXPECT_EQ(Announcement(Version(L"N/A")), L"-");
  // The tests are case-sensitive on the letters they name.
  EXPECT_EQ(Announcement(Version(L"2.0 BETA")), L"-");
}

TEST(PreRelease, LastFileVersionPartFrom1024IsAReleasedBuild) {
  EXPECT_EQ(Announcement(Version(L"2.0 Beta", 400u << 16 | 1023)), L"Wii Balance Board 2.0 Beta");
  EXPECT_EQ(Announcement(Version(L"2.0 Beta", 400u << 16 | 1024)), L"-");
  EXPECT_EQ(Announcement(Version(L"2.0 Beta", 0xFFFF)), L"-");
  // Only the low 16 bits count: a third part of 1024 does not.
  EXPECT_EQ(Announcement(Version(L"2.0 Beta", 1024u << 16)), L"Wii Balance Board 2.0 Beta");
  ModuleVersion unreadable = Version(L"2.0 Beta", 0xFFFF);
  unreadable.fixedPartRead = false;
  EXPECT_EQ(Announcement(unreadable), L"Wii Balance Board 2.0 Beta");
}

TEST(PreRelease, UnreadableDescriptionStaysNotAvailable) {
  ModuleVersion version;
  version.fileVersion = L"2.0 Beta";
  EXPECT_EQ(Announcement(version), L"N/A 2.0 Beta");
  EXPECT_EQ(Announcement(ModuleVersion()), L"-");
}

TEST(PreRelease, AnnouncementFitsItsBufferOf256) {
  std::wstring description(300, L'd');
  std::wstring text = Announcement(Version(L"2.0 Beta", kThisBuildLS, description.c_str()));
  EXPECT_EQ(text, description.substr(0, 255));
}

}  // namespace
