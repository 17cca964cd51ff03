// The few socket calls the view makes, the same on Winsock and on POSIX: a listening socket on
// 127.0.0.1, non-blocking connections, and one wait over all of them with a time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kymhost {

// Winsock is started while one lives (nothing to do elsewhere).
class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
  bool Ready() const { return ready_; }

 private:
  bool ready_ = false;
};

class Socket {
 public:
#ifdef _WIN32
  using Handle = std::uintptr_t;  // SOCKET
#else
  using Handle = int;
#endif
  static const Handle kNone;

  Socket() = default;
  explicit Socket(Handle handle) : handle_(handle) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // A non-blocking socket listening on 127.0.0.1:port (0: a free port the system picks); an
  // empty one, with the system's reason, when it cannot be had.
  static Socket ListenOnLoopback(int port, std::string& error);
  // A waiting connection, non-blocking; an empty socket when none waits.
  Socket Accept() const;

  bool Open() const { return handle_ != kNone; }
  Handle handle() const { return handle_; }
  int LocalPort() const;
  void Close();

  // Bytes moved, or one of these: nothing can move now, or the connection is over.
  static constexpr long kWouldBlock = -1;
  static constexpr long kGone = -2;
  long Send(const char* bytes, size_t size) const;
  long Receive(char* bytes, size_t size) const;
  // Says the response is whole: the client reads it to its end before the connection goes.
  void EndSending() const;

 private:
  Handle handle_ = kNone;
};

// What a wait watches on one socket, and what it found.
struct SocketWatch {
  const Socket* socket;
  bool wantRead;
  bool wantWrite;
  bool readable = false;  // also when the connection was closed or failed: a read then says so
  bool writable = false;
};

// Waits up to timeoutMs for any watched socket to be ready.
void WaitForSockets(std::vector<SocketWatch>& watches, int timeoutMs);

}  // namespace kymhost
