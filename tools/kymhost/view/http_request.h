// One HTTP/1.x request as the live view reads it off a socket: the request line and the few
// headers the view acts on. Anything else is refused: the view answers one page and its stream,
// so it can afford to be strict.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kymhost {

// A request's head may take this much, its body this much: the view's own requests are far
// smaller, and a client never makes the view hold more.
constexpr size_t kMostRequestHeadBytes = 8192;
constexpr size_t kMostRequestBodyBytes = 1024;

struct HttpRequest {
  std::string method;  // as sent: "GET", "POST", ...
  std::string path;    // the target up to any '?'
  std::string host;    // the Host header; empty when none came
  std::string token;   // the X-Kymhost-Token header; empty when none came
  size_t bodyBytes = 0;
};

struct RequestParse {
  enum Result { kIncomplete, kComplete, kBad, kTooLarge } result = kIncomplete;
  size_t consumed = 0;  // for kComplete: the bytes of the request, head and body
};

// Reads the first request of what a client has sent so far. kIncomplete asks for more bytes;
// kBad and kTooLarge are answered and the connection closed.
RequestParse ParseRequest(std::string_view received, HttpRequest& request);

}  // namespace kymhost
