// The live view's request parser and its answers, with any bytes a client may send, arriving in
// pieces of any size as a socket delivers them. A request is never read past what arrived, never
// left waiting beyond the view's limits, and every answer is a whole response.
#include "fuzz_input.h"
#include "view/http_request.h"
#include "view/site.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace {

using fuzzing::FuzzInput;

constexpr size_t kMostPiece = 600;
constexpr int kPort = 8731;
const char kToken[] = "0123456789abcdef0123456789abcdef";

void Check(bool holds) {
  if (!holds) std::abort();
}

// What the server would send for one request; its head must end before any body.
void AnswerOne(const kymhost::HttpRequest& request, bool recording, bool full) {
  kymhost::SiteRules rules;
  rules.port = kPort;
  rules.token = kToken;
  rules.markersOpen = recording;
  rules.streamsFull = full;
  kymhost::Answer answer = kymhost::AnswerTo(request, rules);
  std::string response;
  if (answer.kind == kymhost::Answer::kFile) {
    Check(answer.file != nullptr);
    std::string body = kymhost::FileBody(*answer.file, kToken);
    Check(body.find(kymhost::kTokenPlaceholder) == std::string::npos);
    response = kymhost::Response(answer.status, answer.file->contentType, body);
  } else if (answer.kind == kymhost::Answer::kEvents) {
    response = kymhost::EventStreamHead();
  } else {
    response = kymhost::Response(answer.status, "text/plain", answer.reason);
  }
  Check(response.rfind("HTTP/1.1 ", 0) == 0 && response.find("\r\n\r\n") != std::string::npos);
  // A marker needs the token, and a page asked for by another name is never served.
  if (answer.kind == kymhost::Answer::kMarker) Check(request.token == kToken && recording);
  if (answer.kind != kymhost::Answer::kRefusal) {
    std::string host = request.host;
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Check(host == "127.0.0.1:" + std::to_string(kPort) || host == "localhost:" + std::to_string(kPort));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const bool recording = in.TakeBool(), full = in.TakeBool();
  std::string received;
  while (!in.Empty()) {
    received += in.TakeBytes(kMostPiece);
    kymhost::HttpRequest request;
    kymhost::RequestParse parse = kymhost::ParseRequest(received, request);
    if (parse.result == kymhost::RequestParse::kIncomplete) {
      Check(received.size() <= kymhost::kMostRequestHeadBytes + kymhost::kMostRequestBodyBytes);
      continue;
    }
    if (parse.result != kymhost::RequestParse::kComplete) return 0;  // answered, and the connection closed
    Check(parse.consumed > 0 && parse.consumed <= received.size());
    Check(request.bodyBytes <= kymhost::kMostRequestBodyBytes && !request.path.empty() && request.path[0] == '/');
    AnswerOne(request, recording, full);
    received.erase(0, parse.consumed);
  }
  return 0;
}
