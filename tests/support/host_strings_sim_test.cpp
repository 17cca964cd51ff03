#include "platform/posix/control.h"
#include "support/exceptions.h"
#include "support/host_strings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Text(const OrxString& s) { return std::wstring(s.Chars(), s.Length()); }

constexpr WORD kGerman = 0x0407;

bool GermanApplication(WORD* language) {
  *language = kGerman;
  return true;
}

class HostStringsSimTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetHostLanguageQuery(nullptr);
    SetProductTerms({});
    posix::ClearHostStrings();
  }
};

TEST_F(HostStringsSimTest, EntriesAreFoundByBlockAndPosition) {
  posix::SetHostString(57344, L"zero");
  posix::SetHostString(57345, L"one");
  posix::SetHostString(57359, L"fifteen");
  EXPECT_EQ(Text(LoadHostString(57344)), L"zero");
  EXPECT_EQ(Text(LoadHostString(57345)), L"one");
  EXPECT_EQ(Text(LoadHostString(57359)), L"fifteen");
  EXPECT_EQ(Text(LoadHostString(57346)), L"");  // empty entry
  EXPECT_EQ(Text(LoadHostString(57360)), L"");  // no block
}

TEST_F(HostStringsSimTest, TheApplicationsLanguageComesFirstThenTheDefault) {
  posix::SetHostString(20007, L"Caption");
  posix::SetHostString(20008, L"Unreadable");
  posix::SetHostString(20007, L"Titel", kGerman);
  EXPECT_EQ(Text(LoadHostString(20007)), L"Caption");  // no application object
  SetHostLanguageQuery(GermanApplication);
  EXPECT_EQ(Text(LoadHostString(20007)), L"Titel");
  EXPECT_EQ(Text(LoadHostString(20008)), L"Unreadable");  // empty in the German block
}

TEST_F(HostStringsSimTest, ProductTermsAreReplacedInTableOrder) {
  posix::SetHostString(20018, L"<P> cannot set <P>'s locale");
  SetProductTerms({{L"<P>", L"<Q>"}, {L"<Q>", L"Kymora"}, {L"", L"never"}});
  EXPECT_EQ(Text(LoadHostString(20018)), L"Kymora cannot set Kymora's locale");
}

TEST_F(HostStringsSimTest, HostCodesTakeTheirHostStrings) {
  for (UINT id = 57345; id <= 57360; ++id) posix::SetHostString(id, L"host " + std::to_wstring(id));
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0xA0048205u))), L"host 57349");
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0x80030105u))), L"host 57349");
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0xA0048207u))), L"host 57350");
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0xA004821Bu))), L"host 57360");
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0xA004820Au))), L"");
}

TEST_F(HostStringsSimTest, SystemTextWithoutFullStopGetsOne) {
  EXPECT_EQ(Text(MessageForCode(E_FAIL)), L"Unspecified error.");
  EXPECT_EQ(Text(MessageForCode(static_cast<HRESULT>(0x80070002u))), L"The system cannot find the file specified.");
}

}  // namespace
