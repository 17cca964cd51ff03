// Canonical full paths, as the companion library's path is built.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Full(const wchar_t* path) {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetFullPathNameW(path, MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) return L"<failed>";
  return std::wstring(buffer, length);
}

TEST(FullPathName, ResolvesDotsSlashesAndRepeatedSeparators) {
  EXPECT_EQ(Full(L"C:\\Program Files\\Kymora\\Hvx.dll"), L"C:\\Program Files\\Kymora\\Hvx.dll");
  EXPECT_EQ(Full(L"C:\\Program Files\\Kymora\\bin\\..\\.\\Hvx.dll"), L"C:\\Program Files\\Kymora\\Hvx.dll");
  EXPECT_EQ(Full(L"C:/Program Files/Kymora/Hvx.dll"), L"C:\\Program Files\\Kymora\\Hvx.dll");
  EXPECT_EQ(Full(L"C:\\Kymora\\\\Hvx.dll"), L"C:\\Kymora\\Hvx.dll");
  EXPECT_EQ(Full(L"C:\\..\\..\\Hvx.dll"), L"C:\\Hvx.dll");
  EXPECT_EQ(Full(L"C:\\Kymora\\"), L"C:\\Kymora\\");
  EXPECT_EQ(Full(L"\\\\server\\share\\..\\Hvx.dll"), L"\\\\server\\share\\Hvx.dll");
}

TEST(FullPathName, RelativePathsStartFromTheCurrentDirectory) {
  std::wstring full = Full(L"sub\\..\\Hvx.dll");
  ASSERT_GT(full.size(), 11u);
  EXPECT_EQ(full[1], L':');
  EXPECT_EQ(full.substr(full.size() - 8), L"\\Hvx.dll");
  EXPECT_EQ(full.find(L".."), std::wstring::npos);
}

TEST(FullPathName, SizesAndFilePart) {
  const wchar_t* path = L"C:\\Kymora\\.\\Hvx.dll";
  const DWORD needed = sizeof("C:\\Kymora\\Hvx.dll");  // with the terminator
  EXPECT_EQ(GetFullPathNameW(path, 0, nullptr, nullptr), needed);
  wchar_t small[4] = {L'x', 0, 0, 0};
  EXPECT_EQ(GetFullPathNameW(path, 4, small, nullptr), needed);
  EXPECT_EQ(small[0], L'x');
  wchar_t buffer[MAX_PATH];
  LPWSTR filePart = nullptr;
  EXPECT_EQ(GetFullPathNameW(path, needed, buffer, &filePart), needed - 1);
  ASSERT_NE(filePart, nullptr);
  EXPECT_EQ(std::wstring(filePart), L"Hvx.dll");
}

}  // namespace
