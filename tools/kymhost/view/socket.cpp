#include "view/socket.h"

#include <climits>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kymhost {

namespace {

constexpr int kListenBacklog = 16;
// One call never moves more than this, so a long pending stream never blocks a turn of the loop.
constexpr size_t kMostBytesPerCall = 1 << 20;

#ifdef _WIN32
using Native = SOCKET;
using Length = int;
Native AsNative(Socket::Handle handle) { return static_cast<Native>(handle); }
bool LastWouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
std::string LastError() { return "error " + std::to_string(WSAGetLastError()); }
void CloseNative(Socket::Handle handle) { closesocket(AsNative(handle)); }
bool MakeNonBlocking(Socket::Handle handle) {
  u_long on = 1;
  // Not inherited by the programs kymhost starts (the browser, with --view-open).
  SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
  return ioctlsocket(AsNative(handle), FIONBIO, &on) == 0;
}
#else
using Native = int;
using Length = socklen_t;
Native AsNative(Socket::Handle handle) { return handle; }
bool LastWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
std::string LastError() { return std::strerror(errno); }
void CloseNative(Socket::Handle handle) { close(handle); }
bool MakeNonBlocking(Socket::Handle handle) {
  int flags = fcntl(handle, F_GETFL, 0);
  return flags >= 0 && fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(handle, F_SETFD, FD_CLOEXEC) == 0;
}
#endif

int CallSize(size_t size) { return static_cast<int>(size < kMostBytesPerCall ? size : kMostBytesPerCall); }

}  // namespace

#ifdef _WIN32
const Socket::Handle Socket::kNone = static_cast<Socket::Handle>(INVALID_SOCKET);

SocketLibrary::SocketLibrary() {
  WSADATA data;
  ready_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
SocketLibrary::~SocketLibrary() {
  if (ready_) WSACleanup();
}
#else
const Socket::Handle Socket::kNone = -1;

SocketLibrary::SocketLibrary() : ready_(true) {}
SocketLibrary::~SocketLibrary() = default;
#endif

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

void Socket::Close() {
  if (handle_ != kNone) CloseNative(handle_);
  handle_ = kNone;
}

Socket Socket::ListenOnLoopback(int port, std::string& error) {
  Socket listening(static_cast<Handle>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
  if (!listening.Open()) {
    error = LastError();
    return Socket();
  }
  int on = 1;
#ifdef _WIN32
  // No other program may bind the same port beside the view and take its connections.
  setsockopt(AsNative(listening.handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
#else
  // A port just used by an earlier kymhost can be taken again at once.
  setsockopt(listening.handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  if (bind(AsNative(listening.handle_), reinterpret_cast<const sockaddr*>(&address),
           sizeof address) != 0 ||
      listen(AsNative(listening.handle_), kListenBacklog) != 0 ||
      !MakeNonBlocking(listening.handle_)) {
    error = LastError();
    return Socket();
  }
  return listening;
}

Socket Socket::Accept() const {
  Socket accepted(static_cast<Handle>(accept(AsNative(handle_), nullptr, nullptr)));
  if (accepted.Open() && !MakeNonBlocking(accepted.handle_)) accepted.Close();
  return accepted;
}

int Socket::LocalPort() const {
  sockaddr_in address{};
  Length length = sizeof address;
  if (getsockname(AsNative(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}

long Socket::Send(const char* bytes, size_t size) const {
#ifdef _WIN32
  int sent = send(AsNative(handle_), bytes, CallSize(size), 0);
#else
  // A viewer gone must not end kymhost with SIGPIPE.
  ssize_t sent = send(handle_, bytes, static_cast<size_t>(CallSize(size)), MSG_NOSIGNAL);
#endif
  if (sent >= 0) return static_cast<long>(sent);
  return LastWouldBlock() ? kWouldBlock : kGone;
}

long Socket::Receive(char* bytes, size_t size) const {
#ifdef _WIN32
  int got = recv(AsNative(handle_), bytes, CallSize(size), 0);
#else
  ssize_t got = recv(handle_, bytes, static_cast<size_t>(CallSize(size)), 0);
#endif
  if (got > 0) return static_cast<long>(got);
  if (got == 0) return kGone;
  return LastWouldBlock() ? kWouldBlock : kGone;
}

void Socket::EndSending() const {
#ifdef _WIN32
  shutdown(AsNative(handle_), SD_SEND);
#else
  shutdown(handle_, SHUT_WR);
#endif
}

void WaitForSockets(std::vector<SocketWatch>& watches, int timeoutMs) {
  std::vector<pollfd> polled;
  polled.reserve(watches.size());
  for (const SocketWatch& watch : watches) {
    pollfd entry{};
    entry.fd = static_cast<decltype(entry.fd)>(watch.socket->handle());
    entry.events = static_cast<short>((watch.wantRead ? POLLIN : 0) | (watch.wantWrite ? POLLOUT : 0));
    polled.push_back(entry);
  }
#ifdef _WIN32
  int ready = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeoutMs);
  if (ready == SOCKET_ERROR) Sleep(static_cast<DWORD>(timeoutMs));  // never a busy loop
#else
  int ready = poll(polled.data(), static_cast<nfds_t>(polled.size()), timeoutMs);
  if (ready < 0 && errno != EINTR) usleep(static_cast<useconds_t>(timeoutMs) * 1000);  // never a busy loop
#endif
  for (size_t i = 0; i < watches.size(); ++i) {
    short seen = ready > 0 ? polled[i].revents : 0;
    watches[i].readable = (seen & (POLLIN | POLLHUP | POLLERR)) != 0;
    watches[i].writable = (seen & (POLLOUT | POLLERR)) != 0;
  }
}

}  // namespace kymhost
