// Code-page conversions through iconv, with the Windows rules for sizes, errors and
// characters a code page cannot hold.
#include "platform/posix/control.h"

#include <cerrno>
#include <iconv.h>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr UINT kSystemAnsiCodePage = 1252;
constexpr UINT kSystemOemCodePage = 437;
thread_local UINT threadCodePage = kSystemAnsiCodePage;

UINT ResolveCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP: return kSystemAnsiCodePage;
    case CP_OEMCP: return kSystemOemCodePage;
    case CP_THREAD_ACP: return threadCodePage;
    default: return codePage;
  }
}

std::string IconvName(UINT codePage) {
  if (codePage == CP_UTF8) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

bool IsSingleByte(UINT codePage) {
  return codePage != CP_UTF8 && codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
}

// One converter per direction and code page, per thread (iconv_t is not thread-safe).
class Converters {
 public:
  ~Converters() {
    for (auto& entry : open_) iconv_close(entry.second);
  }
  iconv_t Get(UINT codePage, bool toWide) {
    auto key = std::make_pair(codePage, toWide);
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    std::string name = IconvName(codePage);
    iconv_t cd = toWide ? iconv_open("WCHAR_T", name.c_str()) : iconv_open(name.c_str(), "WCHAR_T");
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    open_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<UINT, bool>, iconv_t> open_;
};

thread_local Converters converters;

bool Invalid(iconv_t cd) { return cd == reinterpret_cast<iconv_t>(-1); }

// Converts all of in; on a byte or character that cannot be converted, substitute() is asked
// what to emit and how much input to skip.
template <typename Out, typename Substitute>
void Convert(iconv_t cd, const char* in, size_t inBytes, std::vector<Out>& out, Substitute substitute) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in);
  size_t left = inBytes;
  Out chunk[256];
  while (left > 0) {
    char* dst = reinterpret_cast<char*>(chunk);
    size_t room = sizeof(chunk);
    size_t result = iconv(cd, &src, &left, &dst, &room);
    size_t produced = (sizeof(chunk) - room) / sizeof(Out);
    out.insert(out.end(), chunk, chunk + produced);
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      size_t skip = substitute(src, left, out);
      src += skip;
      left -= skip;
    }
  }
}

}  // namespace

namespace posix {
void SetThreadCodePage(UINT codePage) { threadCodePage = codePage; }
}  // namespace posix

UINT GetACP() { return kSystemAnsiCodePage; }
UINT GetOEMCP() { return kSystemOemCodePage; }

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int bytes, LPWSTR wide, int wideCount) {
  if (!text || bytes == 0 || bytes < -1 || wideCount < 0 || (wideCount > 0 && !wide)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT resolved = ResolveCodePage(codePage);
  iconv_t cd = converters.Get(resolved, true);
  if (Invalid(cd)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = bytes == -1 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(bytes);
  std::vector<wchar_t> result;
  bool singleByte = IsSingleByte(resolved);
  Convert(cd, text, length, result, [singleByte](const char* at, size_t, std::vector<wchar_t>& out) {
    // Bytes a single-byte code page leaves undefined map to the same code point, as on
    // Windows; anything else becomes the replacement character.
    out.push_back(singleByte ? static_cast<wchar_t>(static_cast<unsigned char>(*at)) : L'\xFFFD');
    return size_t{1};
  });
  if (wideCount == 0) return static_cast<int>(result.size());
  if (result.size() > static_cast<size_t>(wideCount)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(result.begin(), result.end(), wide);
  return static_cast<int>(result.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideCount, LPSTR text, int bytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  if (!wide || wideCount == 0 || wideCount < -1 || bytes < 0 || (bytes > 0 && !text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT resolved = ResolveCodePage(codePage);
  iconv_t cd = converters.Get(resolved, false);
  if (Invalid(cd)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t count = wideCount == -1 ? std::char_traits<wchar_t>::length(wide) + 1 : static_cast<size_t>(wideCount);
  std::vector<char> result;
  bool usedDefault = false;
  std::string fallback = resolved == CP_UTF8 ? "\xEF\xBF\xBD" : (defaultChar ? defaultChar : "?");
  Convert(cd, reinterpret_cast<const char*>(wide), count * sizeof(wchar_t), result,
          [&](const char*, size_t, std::vector<char>& out) {
            out.insert(out.end(), fallback.begin(), fallback.end());
            usedDefault = true;
            return sizeof(wchar_t);
          });
  if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  if (bytes == 0) return static_cast<int>(result.size());
  if (result.size() > static_cast<size_t>(bytes)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(result.begin(), result.end(), text);
  return static_cast<int>(result.size());
}
