#include "view/site.h"

#include <algorithm>
#include <cctype>

namespace kymhost {

namespace {

// Never cached (each run has its own token), never framed by another page (a framed marker
// button could be clicked by someone else's page), and scripts only from the view itself.
constexpr char kCommonHeaders[] =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Content-Security-Policy: default-src 'self'; frame-ancestors 'none'\r\n";

const char* StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A page on another site reaches 127.0.0.1 under a name of its own (DNS rebinding): its
// requests carry that name, so only the view's own names are answered.
bool OurHost(const std::string& host, int port) {
  std::string suffix = ":" + std::to_string(port);
  std::string name = Lower(host);
  return name == "127.0.0.1" + suffix || name == "localhost" + suffix;
}

// Compares every character, so that the time taken says nothing of how much matched.
bool SameToken(const std::string& given, const std::string& token) {
  if (given.size() != token.size() || token.empty()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < token.size(); ++i) differ |= static_cast<unsigned char>(given[i] ^ token[i]);
  return differ == 0;
}

Answer Refuse(int status, const char* reason) {
  Answer answer;
  answer.status = status;
  answer.reason = reason;
  return answer;
}

}  // namespace

Answer AnswerTo(const HttpRequest& request, const SiteRules& rules) {
  if (request.host.empty()) return Refuse(400, "A request needs a Host header.");
  if (!OurHost(request.host, rules.port)) return Refuse(403, "Ask by the address kymhost printed.");
  Answer answer;
  if (request.path == "/marker") {
    if (request.method != "POST") return Refuse(405, "Markers are set with POST.");
    if (!SameToken(request.token, rules.token)) return Refuse(403, "This marker does not come from kymhost's page.");
    if (!rules.markersOpen) return Refuse(409, "Not recording: markers are set while kymhost records.");
    answer.kind = Answer::kMarker;
    answer.status = 204;
    return answer;
  }
  bool known = request.path == "/events";
  const PageFile* file = nullptr;
  for (size_t i = 0; i < kPageFileCount && !known; ++i)
    if (request.path == kPageFiles[i].path) file = &kPageFiles[i];
  if (!known && !file) return Refuse(404, "kymhost serves its page and its stream only.");
  if (request.method != "GET") return Refuse(405, "Only GET here.");
  if (file) {
    answer.kind = Answer::kFile;
    answer.status = 200;
    answer.file = file;
    return answer;
  }
  if (rules.streamsFull) return Refuse(503, "Too many viewers: close another view of this recording.");
  answer.kind = Answer::kEvents;
  answer.status = 200;
  return answer;
}

std::string Response(int status, const char* contentType, const std::string& body) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n" + kCommonHeaders;
  if (status == 405) head += "Allow: GET, POST\r\n";
  if (status != 204) {
    head += "Content-Type: " + std::string(contentType) + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  return head + "Connection: close\r\n\r\n" + (status == 204 ? std::string() : body);
}

std::string EventStreamHead() {
  return "HTTP/1.1 200 OK\r\n" + std::string(kCommonHeaders) +
         "Content-Type: text/event-stream; charset=utf-8\r\nConnection: close\r\n\r\n";
}

std::string FileBody(const PageFile& file, const std::string& token) {
  std::string body(reinterpret_cast<const char*>(file.bytes), file.size);
  for (size_t at = body.find(kTokenPlaceholder); at != std::string::npos; at = body.find(kTokenPlaceholder, at))
    body.replace(at, sizeof kTokenPlaceholder - 1, token);
  return body;
}

}  // namespace kymhost
