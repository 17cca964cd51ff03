// kymhost.exe's live view on Wine's Winsock: the page, and the stream with every frame of a run.
// Winsock's header before windows.h, which program_run.h brings.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "../program_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kLongestRunMs = 90'000;
constexpr auto kLongestWait = std::chrono::seconds(60);
constexpr DWORD kReceiveTimeoutMs = 60'000;

// The port of kymhost.exe's "View: http://127.0.0.1:PORT/" line, once it is in the output.
int ViewPort() {
  const std::string line = "View: http://127.0.0.1:";
  for (Clock::time_point end = Clock::now() + kLongestWait; Clock::now() < end;) {
    std::ifstream file(kProgramRunOutput, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    std::string out = text.str();
    size_t at = out.find(line);
    if (at != std::string::npos && out.find('\n', at) != std::string::npos) return std::atoi(out.c_str() + at + line.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

// What the view answers a GET of path, read until it closes the connection.
std::string Fetch(int port, const std::string& path) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  DWORD timeout = kReceiveTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  std::string text;
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
    char room[16384];
    for (int got; (got = recv(s, room, sizeof room, 0)) > 0;) text.append(room, static_cast<size_t>(got));
  }
  closesocket(s);
  return text;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(WholeJobKymhost, ServesTheViewsPageAndStreamsEveryFrame) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  std::string page, stream;
  std::thread viewer([&] {
    int port = ViewPort();
    if (port == 0) return;
    page = Fetch(port, "/");
    stream = Fetch(port, "/events");
  });
  ProgramRun run = RunProgram(L"kymhost.exe --view 0 --seconds 2", kLongestRunMs,
                              std::string(PLANKSCALE_SOURCE_DIR "/docs/scenarios/standing-still.scenario"));
  viewer.join();
  WSACleanup();
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page.substr(0, 300);
  EXPECT_NE(page.find("<meta name=\"kymhost-marker-token\" content=\""), std::string::npos) << page.substr(0, 300);
  EXPECT_EQ(stream.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << stream.substr(0, 300);
  EXPECT_EQ(Count(stream, "event: frame\n"), 200u) << run.output;
  EXPECT_NE(stream.find("data: Recorded 200 frames (2.00 s).\n"), std::string::npos) << run.output;
  EXPECT_NE(stream.rfind("event: end\n"), std::string::npos);
}

}  // namespace
