#include "plugin/pre_release.h"

#include <cwchar>

namespace {

constexpr DWORD kLastPartMask = 0xFFFF;
constexpr DWORD kReleasedLastPart = 1024;  // last file-version parts from here on mark released builds
constexpr uint32_t kAnnouncementRoom = 256;  // characters, the terminator included

bool Contains(const OrxString& text, const wchar_t* part) { return std::wcsstr(text.Chars(), part) != nullptr; }

// The tests run in this order, so that "1.0 Final Rev 3", a revision, is not announced.
bool IsPreReleaseText(const OrxString& text) {
  if (Contains(text, kVersionTextUnavailable)) return false;
  if (Contains(text, L"lpha") || Contains(text, L"eta")) return true;
  if (Contains(text, L"ev")) return false;
  return Contains(text, L"inal");
}

}  // namespace

bool PreReleaseAnnouncement(const ModuleVersion& version, OrxString& text) {
  if (version.fixedPartRead && (version.fileVersionLS & kLastPartMask) >= kReleasedLastPart) return false;
  if (!IsPreReleaseText(version.fileVersion)) return false;
  OrxString formatted = version.description;
  formatted += L" ";
  formatted += version.fileVersion;
  text = formatted.Length() < kAnnouncementRoom ? formatted : formatted.Mid(0, kAnnouncementRoom - 1);
  return true;
}
