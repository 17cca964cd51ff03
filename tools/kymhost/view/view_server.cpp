#include "view/view_server.h"

#include "view/site.h"

#include <algorithm>
#include <random>

namespace kymhost {

namespace {

// How often the loop turns when nothing happens: the stream goes out at least this often.
constexpr int kTurnMs = 20;
// Viewers and requests at once; a connection beyond them is closed as it comes.
constexpr size_t kMostConnections = 16;
// A request must arrive, and its answer be taken, within this time.
constexpr auto kRequestTime = std::chrono::seconds(5);
// A viewer that has this much of the stream waiting (two minutes of frames, over the replay) is
// not reading: it is let go, and its browser connects again once it reads.
constexpr size_t kMostPendingBytes = 2u << 20;
// A quiet stream (searching for a board) says something this often.
constexpr auto kKeepAlive = std::chrono::seconds(15);
// What is left for the viewers when kymhost ends goes out within this time, or not at all.
constexpr auto kLastWords = std::chrono::seconds(1);
constexpr size_t kReadRoom = 4096;
constexpr size_t kMostReadPerTurn = 64 * 1024;
constexpr int kTokenBytes = 16;

std::string RandomToken() {
  std::random_device random;
  const char digits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < kTokenBytes; ++i) {
    unsigned value = random() & 0xFFu;
    token += digits[value >> 4];
    token += digits[value & 0xFu];
  }
  return token;
}

}  // namespace

struct ViewServer::Client {
  enum State { kReading, kAnswering, kClosing, kStreaming, kGone };
  Socket socket;
  State state = kReading;
  std::string received;
  std::string pending;
  size_t sent = 0;         // of pending
  size_t mostPending = 0;  // a viewer's: the replay it was sent, and kMostPendingBytes more
  Clock::time_point since;

  bool Waiting() const { return sent < pending.size(); }
  void Queue(const std::string& text) {
    if (sent > 0 && sent == pending.size()) {
      pending.clear();
      sent = 0;
    }
    pending += text;
  }
};

ViewServer::ViewServer(ViewEventQueue& queue) : queue_(queue) {}

ViewServer::~ViewServer() { Stop(); }

bool ViewServer::Start(int port, std::string& error) {
  if (!library_.Ready()) {
    error = "the system's sockets cannot be started";
    return false;
  }
  listening_ = Socket::ListenOnLoopback(port, error);
  if (!listening_.Open()) return false;
  port_ = listening_.LocalPort();
  token_ = RandomToken();
  lastSent_ = Clock::now();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ViewServer::Stop() {
  stopping_.store(true, std::memory_order_release);
  if (thread_.joinable()) thread_.join();
  clients_.clear();
  listening_.Close();
}

void ViewServer::Forward() {
  ViewEvent event;
  std::string text;
  while (queue_.Pop(event)) text += stream_.Take(event);
  Clock::time_point now = Clock::now();
  if (text.empty() && now - lastSent_ >= kKeepAlive) text = EventStream::KeepAlive();
  if (text.empty()) return;
  lastSent_ = now;
  for (Client& client : clients_)
    if (client.state == Client::kStreaming) client.Queue(text);
}

void ViewServer::AcceptWaiting() {
  for (size_t accepted = 0; accepted < kMostConnections; ++accepted) {
    Socket socket = listening_.Accept();
    if (!socket.Open()) return;
    if (clients_.size() >= kMostConnections) continue;  // closed as it goes out of scope
    Client client;
    client.socket = std::move(socket);
    client.since = Clock::now();
    clients_.push_back(std::move(client));
  }
}

void ViewServer::AnswerRequest(Client& client) {
  HttpRequest request;
  RequestParse parse = ParseRequest(client.received, request);
  if (parse.result == RequestParse::kIncomplete) return;
  client.state = Client::kAnswering;
  client.since = Clock::now();
  if (parse.result == RequestParse::kBad) {
    client.Queue(Response(400, "text/plain; charset=utf-8", "kymhost cannot read this request.\n"));
    return;
  }
  if (parse.result == RequestParse::kTooLarge) {
    client.Queue(Response(431, "text/plain; charset=utf-8", "This request is larger than any of kymhost's page.\n"));
    return;
  }
  SiteRules rules;
  rules.port = port_;
  rules.token = token_;
  rules.markersOpen = stream_.CurrentPhase() == EventStream::Phase::kRecording;
  rules.streamsFull = std::count_if(clients_.begin(), clients_.end(), [](const Client& c) {
                        return c.state == Client::kStreaming;
                      }) >= kMostStreams;
  kymhost::Answer answer = AnswerTo(request, rules);
  switch (answer.kind) {
    case Answer::kFile:
      client.Queue(Response(answer.status, answer.file->contentType, FileBody(*answer.file, token_)));
      break;
    case Answer::kEvents:
      client.state = Client::kStreaming;
      client.Queue(EventStreamHead() + stream_.Replay());
      client.mostPending = client.pending.size() + kMostPendingBytes;
      break;
    case Answer::kMarker:
      markersAsked_.fetch_add(1, std::memory_order_acq_rel);
      client.Queue(Response(answer.status, "", ""));
      break;
    case Answer::kRefusal:
      client.Queue(Response(answer.status, "text/plain; charset=utf-8", answer.reason + "\n"));
      break;
  }
  client.received.clear();
}

void ViewServer::Serve(Client& client) {
  char room[kReadRoom];
  for (size_t taken = 0; taken < kMostReadPerTurn;) {
    long got = client.socket.Receive(room, sizeof room);
    if (got == Socket::kWouldBlock) break;
    if (got == Socket::kGone) {
      client.state = Client::kGone;
      return;
    }
    taken += static_cast<size_t>(got);
    // A viewer has nothing more to say, and an answered client nothing the view reads.
    if (client.state == Client::kReading && client.received.size() <= kMostRequestHeadBytes + kMostRequestBodyBytes)
      client.received.append(room, static_cast<size_t>(got));
  }
  if (client.state == Client::kReading) AnswerRequest(client);
}

void ViewServer::Flush(Client& client) {
  while (client.Waiting()) {
    long sent = client.socket.Send(client.pending.data() + client.sent, client.pending.size() - client.sent);
    if (sent == Socket::kWouldBlock) break;
    if (sent == Socket::kGone) {
      client.state = Client::kGone;
      return;
    }
    client.sent += static_cast<size_t>(sent);
  }
  if (client.sent > kReadRoom && client.sent * 2 > client.pending.size()) {
    client.pending.erase(0, client.sent);
    client.sent = 0;
  }
  if (client.state == Client::kAnswering && !client.Waiting()) {
    client.socket.EndSending();
    client.state = Client::kClosing;  // until the client closes too: its last request stays unanswered by a reset
  }
}

void ViewServer::Run() {
  Clock::time_point stopAt = Clock::time_point::max();
  std::vector<SocketWatch> watches;
  for (;;) {
    Clock::time_point now = Clock::now();
    bool stopping = stopping_.load(std::memory_order_acquire);
    if (stopping && stopAt == Clock::time_point::max()) stopAt = now + kLastWords;
    Forward();
    if (stopping) {
      bool flushed = std::none_of(clients_.begin(), clients_.end(), [](const Client& c) {
        return c.state == Client::kStreaming && c.Waiting();
      });
      if (flushed || now >= stopAt) break;
    }

    watches.clear();
    if (!stopping) watches.push_back({&listening_, true, false});
    for (const Client& client : clients_) watches.push_back({&client.socket, true, client.Waiting()});
    WaitForSockets(watches, kTurnMs);

    size_t first = stopping ? 0 : 1;
    for (size_t i = 0; i < clients_.size(); ++i) {
      Client& client = clients_[i];
      if (watches[first + i].readable) Serve(client);
      if (client.state != Client::kGone && client.Waiting()) Flush(client);
      bool late = client.state != Client::kStreaming && Clock::now() - client.since > kRequestTime;
      bool notReading = client.state == Client::kStreaming && client.pending.size() - client.sent > client.mostPending;
      if (late || notReading) client.state = Client::kGone;
    }
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [](const Client& c) { return c.state == Client::kGone; }),
                   clients_.end());
    if (!stopping && watches[0].readable) AcceptWaiting();
  }
  for (Client& client : clients_) client.socket.EndSending();
  clients_.clear();
}

}  // namespace kymhost
