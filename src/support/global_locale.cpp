#include "support/global_locale.h"

#include "support/numeric_facets.h"
#include "support/time_facets.h"

#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>

namespace {

constexpr char kUserLocaleName[] = "";
constexpr char kFallbackLocaleName[] = "English";
constexpr char kClassicLocaleName[] = "C";
constexpr wchar_t kClassicDecimalPoint = L'.';

// Each step throws std::runtime_error for a name the standard library does not know.
std::locale UserLocale(const char* name, wchar_t dateSeparator) {
  std::locale result(std::locale(name), new NoThousandsSep<wchar_t>(name));
  result = std::locale(result, new NoThousandsSep<char>(name));
  return std::locale(result, new Orx::time_getEx<wchar_t>(name, dateSeparator));
}

// The named locale with the user's own separators; narrow streams lose their grouping too.
std::locale LocaleWithUserRadix(const char* name, wchar_t dateSeparator, wchar_t decimal, wchar_t thousands) {
  if (decimal == L'\0') decimal = kClassicDecimalPoint;  // an empty setting must not become a NUL
  std::locale result(std::locale(name), new CRTBug_UserRadix_NoThousandsSep<wchar_t>(name, decimal, thousands));
  result = std::locale(result, new NoThousandsSep<char>(name));
  return std::locale(result, new Orx::time_getEx<wchar_t>(name, dateSeparator));
}

}  // namespace

const char* InstallUserGlobalLocale(wchar_t dateSeparator, wchar_t decimalSeparator, wchar_t thousandsSeparator) {
  try {
    std::locale::global(UserLocale(kUserLocaleName, dateSeparator));
    return kUserLocaleName;
  } catch (const std::runtime_error&) {
  }
  std::locale fallback;
  try {
    fallback = LocaleWithUserRadix(kFallbackLocaleName, dateSeparator, decimalSeparator, thousandsSeparator);
  } catch (const std::runtime_error&) {
    // A standard library that knows no Windows locale names (the C runtime may still know it).
    fallback = LocaleWithUserRadix(kClassicLocaleName, dateSeparator, decimalSeparator, thousandsSeparator);
  }
  std::locale::global(fallback);
  return kFallbackLocaleName;
}

void RestoreClassicGlobalLocale() {
  // A named global locale also sets the runtime library's locale; keep that one as it was.
  const char* current = std::setlocale(LC_ALL, nullptr);
  std::string runtime = current ? current : "";
  std::locale::global(std::locale::classic());
  if (!runtime.empty()) std::setlocale(LC_ALL, runtime.c_str());
}
