#include "support/exceptions.h"
#include "support/host_strings.h"
#include "support/string_stream.h"
#include "support/system_text.h"

#include <array>
#include <iomanip>

namespace {

constexpr uint32_t kOldDll = 0x80030105;  // STG_E_OLDDLL, which the host reports as its own code
constexpr uint32_t kOldDllAsHostCode = 0xA0048205;

constexpr uint32_t kFacilityShift = 16;
constexpr uint32_t kFacilityMask = 0x1FFF;
constexpr uint32_t kHostFacility = 4;
constexpr uint32_t kWindowsFacility = 7;
constexpr uint32_t kCustomerBit = 1u << 29;
constexpr uint32_t kHostCodeBit = 1u << 15;
constexpr uint32_t kLowWord = 0xFFFF;
constexpr uint32_t kFirstHostCode = 0x8200;

// Host string for each host code from kFirstHostCode on; 0 for none.
constexpr std::array<UINT, 28> kHostTextForCode = {
    57345, 57346, 57347, 57348, 57349, 57349, 57352, 57350, 57351, 57354, 0, 0, 0, 0,
    0,     0,     0,     0,     57358, 0,     0,     0,     0,     0,     0, 0, 57359, 57360,
};

constexpr DWORD kSystemTextRoom = 510;
constexpr int kCodeDigits = 8;

bool IsHostCode(uint32_t code) {
  return ((code >> kFacilityShift) & kFacilityMask) == kHostFacility && (code & kCustomerBit) && (code & kHostCodeBit);
}

OrxString HostText(uint32_t code) {
  int index = static_cast<int>(code & kLowWord) - static_cast<int>(kFirstHostCode);
  if (index < 0 || index >= static_cast<int>(kHostTextForCode.size())) return OrxString();
  UINT id = kHostTextForCode[static_cast<size_t>(index)];
  return id ? LoadHostString(id) : OrxString();
}

OrxString SystemSentence(uint32_t code) {
  bool windowsError = ((code >> kFacilityShift) & kFacilityMask) == kWindowsFacility;
  OrxString text = SystemText(windowsError ? code & kLowWord : code, kSystemTextRoom);
  if (text.IsEmpty()) {
    Orx::OStringStream unknown;
    unknown.imbue(std::locale::classic());
    unknown << L"Unknown error 0x" << std::hex << std::uppercase << std::setfill(L'0') << std::setw(kCodeDigits) << code;
    text = unknown.str();
  }
  uint32_t length = text.Length();
  if (length <= 1) return text;
  if (text.Chars()[length - 2] == L'\r' && text.Chars()[length - 1] == L'\n') {
    text.Erase(length - 2, length);
    length -= 2;
  }
  if (length == 0 || text.Chars()[length - 1] != L'.') text.Append(L".");
  return text;
}

}  // namespace

OrxString MessageForCode(HRESULT result) {
  auto code = static_cast<uint32_t>(result);
  if (code == kOldDll) code = kOldDllAsHostCode;
  return IsHostCode(code) ? HostText(code) : SystemSentence(code);
}
