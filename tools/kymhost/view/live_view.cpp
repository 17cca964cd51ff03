#include "view/live_view.h"

#include <cstdio>

namespace kymhost {

std::unique_ptr<LiveView> LiveView::Open(int port) {
  std::unique_ptr<LiveView> view(new LiveView());
  std::string error;
  if (!view->server_.Start(port, error)) {
    std::fprintf(stderr, "kymhost: cannot serve the view on 127.0.0.1:%d: %s\n", port, error.c_str());
    return nullptr;
  }
  view->address_ = "http://127.0.0.1:" + std::to_string(view->server_.Port()) + "/";
  std::printf("View: %s\n", view->address_.c_str());
  std::fflush(stdout);
  return view;
}

LiveView::~LiveView() {
  Push(ViewEvent::kEnd);
  server_.Stop();
}

void LiveView::Push(ViewEvent::Kind kind, std::string text) {
  ViewEvent event;
  event.kind = kind;
  event.text = std::move(text);
  queue_.Push(std::move(event));
}

bool LiveView::Start(const RunStart& start) {
  ViewEvent event;
  event.kind = ViewEvent::kStart;
  event.start = start;
  queue_.Push(std::move(event));
  return true;
}

void LiveView::Frame(const FrameRow& row) {
  ViewEvent event;
  event.kind = ViewEvent::kFrame;
  event.row = row;
  queue_.Push(std::move(event));
}

void LiveView::Message(double seconds, const std::string& text) {
  ViewEvent event;
  event.kind = ViewEvent::kMessage;
  event.seconds = seconds;
  event.text = text;
  queue_.Push(std::move(event));
}

bool LiveView::Finish() {
  Push(ViewEvent::kFinish);
  return true;
}

void LiveView::Said(const std::string& line) { Push(ViewEvent::kSaid, line); }

void LiveView::Summary(const std::string& json) { Push(ViewEvent::kSummary, json); }

}  // namespace kymhost
