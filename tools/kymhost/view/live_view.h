// kymhost --view: the session shown in a browser while it runs. The view is a watcher of the
// session: every call only puts an event on the server's queue, so the recording never waits
// for a viewer.
#pragma once

#include "host/run_watcher.h"
#include "view/view_event.h"
#include "view/view_server.h"

#include <memory>
#include <string>

namespace kymhost {

class LiveView final : public RunWatcher {
 public:
  // Serves the page on 127.0.0.1:port (0: any free port) and says where, on its own line, as
  // "View: http://127.0.0.1:PORT/". Null, having said why, when the port cannot be had.
  static std::unique_ptr<LiveView> Open(int port);
  // Tells the viewers kymhost is ending, gives them a moment to take the rest, and closes.
  ~LiveView() override;

  const std::string& Address() const { return address_; }

  bool Start(const RunStart& start) override;
  void Frame(const FrameRow& row) override;
  void Message(double seconds, const std::string& text) override;
  bool Finish() override;
  void Said(const std::string& line) override;
  int TakeMarkers() override { return server_.TakeMarkers(); }
  void Summary(const std::string& json) override;

 private:
  LiveView() : server_(queue_) {}
  void Push(ViewEvent::Kind kind, std::string text = {});

  ViewEventQueue queue_;
  ViewServer server_;
  std::string address_;
};

// Opens the address in the user's browser (on Windows through the shell; elsewhere with
// xdg-open where a desktop is running). False, having said why, when it cannot.
bool OpenInBrowser(const std::string& address);

}  // namespace kymhost
