#include "view/http_request.h"

#include <algorithm>
#include <cctype>

namespace kymhost {

namespace {

constexpr size_t kMostTargetBytes = 2048;
constexpr char kTokenHeader[] = "x-kymhost-token";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The characters of a header's name and of a method (RFC 9110's token).
bool IsTokenChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar); }

// Visible characters, spaces and tabs: no control character hides in a value.
bool IsFieldValue(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return c == '\t' || (u >= 0x20 && u != 0x7F);
  });
}

std::string_view Trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Lines end with CR LF; a bare LF is taken too, as most servers do.
std::string_view WithoutCr(std::string_view line) {
  return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

bool ParseRequestLine(std::string_view line, HttpRequest& request) {
  size_t firstSpace = line.find(' ');
  size_t secondSpace = firstSpace == std::string_view::npos ? firstSpace : line.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos) return false;
  std::string_view method = line.substr(0, firstSpace);
  std::string_view target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  std::string_view version = line.substr(secondSpace + 1);
  if (!IsToken(method) || version.size() != 8 || version.substr(0, 7) != "HTTP/1." ||
      (version[7] != '0' && version[7] != '1'))
    return false;
  // Only the origin form: the view is no proxy.
  if (target.empty() || target[0] != '/' || target.size() > kMostTargetBytes) return false;
  if (!std::all_of(target.begin(), target.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7F;
      }))
    return false;
  request.method.assign(method);
  request.path.assign(target.substr(0, target.find('?')));
  return true;
}

bool ParseLength(std::string_view value, size_t& length) {
  if (value.empty() || value.size() > 9) return false;
  size_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<size_t>(c - '0');
  }
  length = number;
  return true;
}

// One header line into the request; false when it is malformed or contradicts an earlier one.
bool ParseHeader(std::string_view line, HttpRequest& request, bool& sawHost, bool& sawLength) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view name = line.substr(0, colon);  // no space before the colon (RFC 9112)
  std::string_view value = Trimmed(line.substr(colon + 1));
  if (!IsToken(name) || !IsFieldValue(value)) return false;
  if (EqualsIgnoringCase(name, "host")) {
    if (sawHost) return false;
    sawHost = true;
    request.host.assign(value);
  } else if (EqualsIgnoringCase(name, "content-length")) {
    size_t length = 0;
    if (!ParseLength(value, length) || (sawLength && length != request.bodyBytes)) return false;
    sawLength = true;
    request.bodyBytes = length;
  } else if (EqualsIgnoringCase(name, "transfer-encoding")) {
    return false;  // no request of the view's has a chunked body: a smuggling attempt, or a mistake
  } else if (EqualsIgnoringCase(name, kTokenHeader)) {
    request.token.assign(value);
  }
  return true;
}

}  // namespace

RequestParse ParseRequest(std::string_view received, HttpRequest& request) {
  request = HttpRequest{};
  RequestParse parse;
  // A blank line or two before a request is allowed (RFC 9112, 2.2).
  size_t start = 0;
  while (start < received.size() && start < 4 && (received[start] == '\r' || received[start] == '\n')) ++start;
  size_t headEnd = std::string_view::npos, bodyStart = 0;
  for (size_t at = received.find('\n', start); at != std::string_view::npos; at = received.find('\n', at + 1)) {
    size_t next = at + 1;
    if (next < received.size() && received[next] == '\n') {
      headEnd = at;
      bodyStart = next + 1;
      break;
    }
    if (next + 1 < received.size() && received[next] == '\r' && received[next + 1] == '\n') {
      headEnd = at;
      bodyStart = next + 2;
      break;
    }
  }
  if (headEnd == std::string_view::npos) {
    parse.result = received.size() > kMostRequestHeadBytes ? RequestParse::kTooLarge : RequestParse::kIncomplete;
    return parse;
  }
  if (bodyStart > kMostRequestHeadBytes) {
    parse.result = RequestParse::kTooLarge;
    return parse;
  }

  std::string_view head = received.substr(start, headEnd - start);
  size_t lineEnd = head.find('\n');
  bool sawHost = false, sawLength = false;
  parse.result = RequestParse::kBad;
  if (!ParseRequestLine(WithoutCr(head.substr(0, lineEnd)), request)) return parse;
  while (lineEnd != std::string_view::npos) {
    size_t lineStart = lineEnd + 1;
    lineEnd = head.find('\n', lineStart);
    std::string_view line = WithoutCr(head.substr(lineStart, lineEnd == std::string_view::npos ? lineEnd : lineEnd - lineStart));
    if (line.empty() || line[0] == ' ' || line[0] == '\t') return parse;  // folded lines are obsolete
    if (!ParseHeader(line, request, sawHost, sawLength)) return parse;
  }
  if (request.bodyBytes > kMostRequestBodyBytes) {
    parse.result = RequestParse::kTooLarge;
    return parse;
  }
  if (received.size() - bodyStart < request.bodyBytes) {
    parse.result = RequestParse::kIncomplete;
    return parse;
  }
  parse.result = RequestParse::kComplete;
  parse.consumed = bodyStart + request.bodyBytes;
  return parse;
}

}  // namespace kymhost
