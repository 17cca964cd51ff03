// The warnings about regional settings, against the simulated user locale and host strings.
#include "platform/posix/control.h"
#include "support/host_strings.h"
#include "support/locale_info.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <locale>
#include <string>

namespace {

const wchar_t kCaption[] = L"Regional settings";
const wchar_t kUnreadable[] = L"A regional setting cannot be read.";
const wchar_t kDateLikeDecimal[] = L"Date separator equals decimal separator.";
const wchar_t kListLikeDecimal[] = L"List separator equals decimal separator.";

class LocaleInfoSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* all = std::getenv("LC_ALL");
    savedAll_ = all ? all : "";
    hadAll_ = all != nullptr;
    setenv("LC_ALL", "C", 1);  // the process's own locale must be one the runtime knows
    std::locale::global(std::locale::classic());
    std::setlocale(LC_NUMERIC, "C");
    posix::ResetLocale();
    posix::ClearUserInterfaceRecords();
    posix::SetHostString(20007, kCaption);
    posix::SetHostString(20008, kUnreadable);
    posix::SetHostString(20009, kDateLikeDecimal);
    posix::SetHostString(20010, kListLikeDecimal);
    posix::SetHostString(20011, L"Unusual decimal separator \"%1\" (codes:%2).");
    for (UINT id = 20012; id <= 20017; ++id) posix::SetHostString(id, L"Numeric locale failure " + std::to_wstring(id));
    posix::SetHostString(20018, L"Numeric locale: %1");
  }
  void TearDown() override {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_NUMERIC, "C");
    if (hadAll_) setenv("LC_ALL", savedAll_.c_str(), 1);
    else unsetenv("LC_ALL");
    posix::ResetLocale();
    posix::ClearHostStrings();
    posix::ClearUserInterfaceRecords();
  }

  static std::vector<std::wstring> BoxTexts() {
    std::vector<std::wstring> texts;
    for (const auto& box : posix::MessageBoxes()) {
      EXPECT_EQ(box.caption, kCaption);
      EXPECT_EQ(box.type, MB_TASKMODAL);
      texts.push_back(box.text);
    }
    return texts;
  }

  HostStringSlots slots_;

 private:
  std::string savedAll_;
  bool hadAll_ = false;
};

using Texts = std::vector<std::wstring>;

TEST_F(LocaleInfoSimTest, UsualSettingsWarnOfNothing) {
  LocaleInfo info(slots_);
  EXPECT_TRUE(info.globalLocaleInstalled);
  EXPECT_EQ(info.codePage, 437);
  EXPECT_FALSE(info.clock24Hour);
  EXPECT_EQ(BoxTexts(), Texts{});
}

TEST_F(LocaleInfoSimTest, NumericLocaleAlreadyChosenMeansNoBoxButTheCodePageIsRead) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
  posix::SetLocaleValue(LOCALE_SDECIMAL, L",");  // would warn if checked
  posix::SetLocaleValue(LOCALE_IDEFAULTCODEPAGE, L"850");
  LocaleInfo info(slots_);
  EXPECT_FALSE(info.globalLocaleInstalled);
  EXPECT_EQ(info.codePage, 850);
  EXPECT_EQ(BoxTexts(), Texts{});
}

TEST_F(LocaleInfoSimTest, CommaAsDecimalAndListSeparatorWarnsOnce) {
  posix::SetLocaleValue(LOCALE_SDECIMAL, L",");
  posix::SetLocaleValue(LOCALE_STHOUSAND, L".");
  posix::SetLocaleValue(LOCALE_SLIST, L",");
  LocaleInfo info(slots_);
  EXPECT_EQ(BoxTexts(), Texts{kListLikeDecimal});
}

TEST_F(LocaleInfoSimTest, WhenSeveralChecksFireTheLastOneIsShown) {
  posix::SetLocaleValue(LOCALE_SDECIMAL, L".");
  posix::SetLocaleValue(LOCALE_SDATE, L".");
  LocaleInfo dateOnly(slots_);
  EXPECT_EQ(BoxTexts(), Texts{kDateLikeDecimal});

  posix::ClearUserInterfaceRecords();
  std::setlocale(LC_NUMERIC, "C");
  posix::SetLocaleValue(LOCALE_SLIST, L".");
  LocaleInfo both(slots_);
  EXPECT_EQ(BoxTexts(), Texts{kListLikeDecimal});
}

TEST_F(LocaleInfoSimTest, UnusualDecimalSeparatorListsItsCharacterCodes) {
  posix::SetLocaleValue(LOCALE_SDECIMAL, std::wstring{wchar_t(0x2c), wchar_t(0x20)});
  LocaleInfo info(slots_);
  EXPECT_EQ(BoxTexts(), Texts{L"Unusual decimal separator \", \" (codes: 2c 20)."});

  posix::ClearUserInterfaceRecords();
  std::setlocale(LC_NUMERIC, "C");
  posix::SetLocaleValue(LOCALE_SDECIMAL, L"\x066B");
  LocaleInfo arabic(slots_);
  EXPECT_EQ(BoxTexts(), Texts{L"Unusual decimal separator \"\x066B\" (codes: 66b)."});
}

TEST_F(LocaleInfoSimTest, UnreadableSettingStopsTheBuildWithItsOwnBox) {
  posix::FailLocaleValue(LOCALE_SLIST);
  LocaleInfo early(slots_);
  EXPECT_EQ(BoxTexts(), Texts{kUnreadable});
  EXPECT_EQ(std::wstring(early.dateSeparator), L"/");  // read before the failure
  EXPECT_EQ(std::wstring(early.listSeparator), L"");
  EXPECT_EQ(early.codePage, 0);  // never reached: the system ANSI code page
  EXPECT_FALSE(early.globalLocaleInstalled);

  posix::ResetLocale();
  posix::ClearUserInterfaceRecords();
  posix::FailLocaleValue(LOCALE_SSHORTDATE);
  LocaleInfo late(slots_);
  EXPECT_EQ(BoxTexts(), Texts{kUnreadable});
  EXPECT_EQ(late.codePage, 437);
  EXPECT_EQ(std::wstring(late.longDateFormat.Chars()), L"dddd, MMMM d, yyyy");
  EXPECT_TRUE(late.shortDateFormat.IsEmpty());
}

TEST_F(LocaleInfoSimTest, UnknownUserLocaleFallsBackWithTheUsersSeparators) {
  setenv("LC_ALL", "xx_XX.unknown", 1);
  posix::SetLocaleValue(LOCALE_SDECIMAL, L",");
  posix::SetLocaleValue(LOCALE_STHOUSAND, L".");
  posix::SetLocaleValue(LOCALE_SLIST, L";");
  LocaleInfo info(slots_);
  ASSERT_TRUE(info.globalLocaleInstalled);
  EXPECT_EQ(std::use_facet<std::numpunct<wchar_t>>(std::locale()).decimal_point(), L',');
  EXPECT_EQ(std::use_facet<std::numpunct<wchar_t>>(std::locale()).grouping(), "");
  EXPECT_EQ(std::use_facet<std::numpunct<char>>(std::locale()).grouping(), "");
  // The C runtime here knows no "English" either: the system's text for the code it left.
  EXPECT_EQ(BoxTexts(), Texts{L"Numeric locale: The operation completed successfully.\r\n"});
}

}  // namespace
