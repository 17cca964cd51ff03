// What the view answers: its page's three files, its stream and markers, to requests that name
// it by its own address. Everything else is refused, since any web page the user opens may try
// to reach a server on 127.0.0.1.
#pragma once

#include "view/http_request.h"

#include <cstddef>
#include <string>

namespace kymhost {

// The page's files, embedded at build time (view_page_files.cpp, generated).
struct PageFile {
  const char* path;  // "/", "/view.js", ...
  const char* contentType;
  const unsigned char* bytes;
  size_t size;
};
extern const PageFile kPageFiles[];
extern const size_t kPageFileCount;

// The page carries the run's token where its HTML has this word.
constexpr char kTokenPlaceholder[] = "KYMHOST_MARKER_TOKEN";
constexpr char kMarkerTokenHeader[] = "X-Kymhost-Token";

struct Answer {
  enum Kind { kRefusal, kFile, kEvents, kMarker } kind = kRefusal;
  int status = 0;
  const PageFile* file = nullptr;  // kFile
  std::string reason;              // kRefusal: said in the body, for whoever sent it
};

struct SiteRules {
  int port = 0;
  std::string token;
  bool markersOpen = false;  // only while recording, as Enter
  bool streamsFull = false;
};

Answer AnswerTo(const HttpRequest& request, const SiteRules& rules);

// A whole response: its status line and headers, and the body.
std::string Response(int status, const char* contentType, const std::string& body);
// The head of the event stream; the events follow as they come, until the connection closes.
std::string EventStreamHead();
// The page's file as served: the HTML with the run's token in it.
std::string FileBody(const PageFile& file, const std::string& token);

}  // namespace kymhost
