// The live view's small server: one thread and one wait over the listening socket and every
// connection, each non-blocking with its own bounded buffers. A viewer that stops reading, a
// flood of connections or a malformed request costs that connection only; the recording thread
// only ever hands events to the queue.
//
// Its own code rather than an HTTP library: Debian 12's cpp-httplib ships as a Linux shared
// library (declarations in the header, nothing mingw can build), and a thread for each connection
// would let eight silent viewers hold eight blocked threads where this holds a buffer each.
#pragma once

#include "view/event_stream.h"
#include "view/socket.h"
#include "view/view_event.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kymhost {

class ViewServer {
 public:
  // At most this many viewers of the stream at once; more are refused.
  static constexpr int kMostStreams = 8;

  explicit ViewServer(ViewEventQueue& queue);
  ~ViewServer();
  ViewServer(const ViewServer&) = delete;
  ViewServer& operator=(const ViewServer&) = delete;

  // Listens on 127.0.0.1:port (0: any free port) and starts the server thread. False, with the
  // reason, when the port cannot be had.
  bool Start(int port, std::string& error);
  int Port() const { return port_; }
  // Sends the viewers what is left for a moment at most, closes every connection and ends the
  // thread. Bounded, like every wait of the server.
  void Stop();
  // How many markers the page asked for since the last call; from the recording thread.
  int TakeMarkers() { return markersAsked_.exchange(0, std::memory_order_acq_rel); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Client;

  void Run();
  void Forward();
  void AcceptWaiting();
  void Serve(Client& client);
  void AnswerRequest(Client& client);
  void Flush(Client& client);

  ViewEventQueue& queue_;
  SocketLibrary library_;
  Socket listening_;
  int port_ = 0;
  std::string token_;
  EventStream stream_;
  std::vector<Client> clients_;
  Clock::time_point lastSent_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> markersAsked_{0};
  std::thread thread_;
};

}  // namespace kymhost
