// Against the real regional settings: under Wine these are Windows' own answers.
#include "support/host_strings.h"
#include "support/locale_info.h"
#include "support/time_facets.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <locale>
#include <sstream>
#include <string>

namespace {

std::wstring Setting(LCTYPE type) {
  wchar_t buffer[128] = {0};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
  return buffer;
}

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }

// Every LocaleInfo here starts from the classic locales and leaves them so.
class LocaleInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_NUMERIC, "C");
  }
  void TearDown() override {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_NUMERIC, "C");
  }
  HostStringSlots slots_;
};

TEST_F(LocaleInfoTest, NumericLocaleAlreadyChosenIsLeftAloneButSettingsAreRead) {
  const char* chosen = nullptr;
  for (const char* name : {"C.UTF-8", "English", "en_US.UTF-8"})
    if ((chosen = std::setlocale(LC_NUMERIC, name))) break;
  if (!chosen) GTEST_SKIP() << "no numeric locale besides C";
  std::string before = chosen;

  LocaleInfo info(slots_);
  EXPECT_FALSE(info.globalLocaleInstalled);
  EXPECT_EQ(std::locale().name(), "C");
  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);

  EXPECT_EQ(info.codePage, _wtoi(Setting(LOCALE_IDEFAULTCODEPAGE).c_str()));
  EXPECT_NE(info.codePage, 0);
  EXPECT_EQ(std::wstring(info.decimalSeparator), Setting(LOCALE_SDECIMAL));
  EXPECT_EQ(std::wstring(info.dateSeparator), Setting(LOCALE_SDATE));
  EXPECT_EQ(std::wstring(info.pmDesignator), Setting(LOCALE_S2359));
  EXPECT_EQ(Text(info.timeFormat), Setting(LOCALE_STIMEFORMAT));
  EXPECT_EQ(Text(info.longDateFormat), Setting(LOCALE_SLONGDATE));
  EXPECT_EQ(Text(info.shortDateFormat), Setting(LOCALE_SSHORTDATE));
  EXPECT_EQ(info.clock24Hour, _wtoi(Setting(LOCALE_ITIME).c_str()) == 1);
  EXPECT_EQ(std::string(info.decimalSeparatorA).size(), 1u);
}

TEST_F(LocaleInfoTest, InstallsAGlobalLocaleWithoutGroupingAndRemovesItAgain) {
  {
    LocaleInfo info(slots_);
    ASSERT_TRUE(info.globalLocaleInstalled);
    EXPECT_STRNE(std::setlocale(LC_NUMERIC, nullptr), "C");  // the runtime follows the user

    std::wostringstream wide;
    wide << 32000 << L' ' << 1234567;
    EXPECT_EQ(wide.str(), L"32000 1234567");
    std::ostringstream narrow;
    narrow << 32000;
    EXPECT_EQ(narrow.str(), "32000");
    const auto& dates = std::use_facet<std::time_get<wchar_t>>(std::locale());
    EXPECT_NE(dynamic_cast<const Orx::time_getEx<wchar_t>*>(&dates), nullptr);
  }
  EXPECT_EQ(std::locale().name(), "C");
  EXPECT_STRNE(std::setlocale(LC_NUMERIC, nullptr), "C");  // left as the record set it
}

}  // namespace
