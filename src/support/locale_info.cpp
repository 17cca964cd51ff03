#include "support/locale_info.h"

#include "platform/win32.h"
#include "support/format_stream.h"
#include "support/global_locale.h"
#include "support/host_strings.h"
#include "support/string_stream.h"
#include "support/system_text.h"

#include <clocale>
#include <cwchar>
#include <locale>

namespace {

constexpr int kNumberSize = 8;

// Host strings of the warnings.
constexpr UINT kCaptionText = 20007;
constexpr UINT kUnreadableText = 20008;
constexpr UINT kDateSeparatorText = 20009;
constexpr UINT kListSeparatorText = 20010;
constexpr UINT kUnusualDecimalText = 20011;
constexpr UINT kFirstNumericLocaleText = 20012;  // one per code from kFirstNumericLocaleError on
constexpr UINT kOtherNumericLocaleText = 20018;

constexpr DWORD kFirstNumericLocaleError = 0x20000101;
constexpr DWORD kLastNumericLocaleError = 0x20000106;
constexpr DWORD kSystemTextRoom = 511;

constexpr wchar_t kClassicNumericLocale[] = L"C";

void Warn(const OrxString& text, HostStringSlots& slots) {
  MessageBoxW(nullptr, text, slots.Get(kCaptionText), MB_TASKMODAL);
}

bool ReadFormat(LCTYPE type, OrxString& target) {
  int size = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, nullptr, 0);
  if (size <= 0) return false;
  wchar_t* buffer = target.GetBuffer(static_cast<uint32_t>(size));
  int fetched = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, size);
  target.ReleaseBuffer();
  return fetched > 0;
}

}  // namespace

LocaleInfo& LocaleInfo::Instance() {
  // Built once even when two host threads ask at the same moment.
  static LocaleInfo instance(HostStringSlots::Process());
  return instance;
}

LocaleInfo::LocaleInfo(HostStringSlots& slots) {
  if (!ReadSettings()) {
    Warn(slots.Get(kUnreadableText), slots);
    return;
  }
  // A numeric locale chosen by the host or another module already is left alone.
  if (OrxString(std::setlocale(LC_NUMERIC, nullptr)) != OrxString(kClassicNumericLocale)) return;

  const char* name = InstallUserGlobalLocale(dateSeparator[0], decimalSeparator[0], thousandsSeparator[0]);
  globalLocaleInstalled = true;
  OrxString warning = PendingWarning(slots);

  SetLastError(ERROR_SUCCESS);  // a failing runtime may leave no code of its own
  if (!std::setlocale(LC_NUMERIC, name)) {
    DWORD error = GetLastError();
    if (error >= kFirstNumericLocaleError && error <= kLastNumericLocaleError) {
      warning = slots.Get(kFirstNumericLocaleText + (error - kFirstNumericLocaleError));
    } else {
      Orx::OFormatStringStream text(slots.Get(kOtherNumericLocaleText));
      text << SystemText(error, kSystemTextRoom) << Orx::endarg;
      warning = text.str();
    }
  }
  if (!warning.IsEmpty()) Warn(warning, slots);
}

LocaleInfo::~LocaleInfo() {
  if (globalLocaleInstalled) RestoreClassicGlobalLocale();
}

bool LocaleInfo::ReadSettings() {
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimalSeparatorA, kSeparatorSize) == 0) return false;
  struct Item {
    LCTYPE type;
    wchar_t* data;
    int size;
  };
  wchar_t hourClock[kNumberSize] = {0};
  wchar_t markerPosition[kNumberSize] = {0};
  wchar_t page[kNumberSize] = {0};
  const Item items[] = {
      {LOCALE_SDECIMAL, decimalSeparator, kSeparatorSize},  {LOCALE_STHOUSAND, thousandsSeparator, kSeparatorSize},
      {LOCALE_STIME, timeSeparator, kSeparatorSize},        {LOCALE_SDATE, dateSeparator, kSeparatorSize},
      {LOCALE_SLIST, listSeparator, kSeparatorSize},        {LOCALE_S1159, amDesignator, kDesignatorSize},
      {LOCALE_S2359, pmDesignator, kDesignatorSize},        {LOCALE_ITIME, hourClock, kNumberSize},
      {LOCALE_ITIMEMARKPOSN, markerPosition, kNumberSize},  {LOCALE_IDEFAULTCODEPAGE, page, kNumberSize},
  };
  for (const Item& item : items)
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, item.type, item.data, item.size) == 0) return false;
  clock24Hour = _wtoi(hourClock) == 1;
  codePage = static_cast<uint16_t>(_wtoi(page));
  timeMarkerLeads = _wtoi(markerPosition) != 0;
  return ReadFormat(LOCALE_STIMEFORMAT, timeFormat) && ReadFormat(LOCALE_SLONGDATE, longDateFormat) &&
         ReadFormat(LOCALE_SSHORTDATE, shortDateFormat);
}

OrxString LocaleInfo::PendingWarning(HostStringSlots& slots) const {
  OrxString warning;
  if (std::wcscmp(dateSeparator, decimalSeparator) == 0) warning = slots.Get(kDateSeparatorText);
  if (std::wcscmp(listSeparator, decimalSeparator) == 0) warning = slots.Get(kListSeparatorText);
  if (std::wcslen(decimalSeparator) != 1 || (decimalSeparator[0] != L'.' && decimalSeparator[0] != L',')) {
    Orx::OStringStream codes;
    codes.imbue(std::locale::classic());
    codes << std::hex;
    for (const wchar_t* c = decimalSeparator; *c; ++c) codes << L' ' << static_cast<unsigned>(*c);
    Orx::OFormatStringStream text(slots.Get(kUnusualDecimalText));
    text << decimalSeparator << Orx::endarg << codes.str() << Orx::endarg;
    warning = text.str();
  }
  return warning;
}
