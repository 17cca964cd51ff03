// The live view's cost to kymhost: its server streaming a run's 100 frames a second to viewers
// that read it (each its own process, as a browser is), as the share of a core it adds to the
// process over the same hand-over of frames with no view.
#include "process_cpu.h"
#include "view/view_event.h"
#include "view/view_server.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWindow = std::chrono::seconds(10);
constexpr auto kFramePeriod = std::chrono::milliseconds(10);
constexpr auto kSettle = std::chrono::seconds(1);
constexpr char kReaderFlag[] = "--read-view";

// A viewer: reads the stream until the server closes it.
int ReadView(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
  std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
  if (send(fd, request.data(), request.size(), 0) < 0) return 1;
  char room[65536];
  while (recv(fd, room, sizeof room, 0) > 0) {
  }
  close(fd);
  return 0;
}

// The recording loop's side: a swaying person's frame every 10 ms for the window.
void HandOverFrames(kymhost::ViewEventQueue* queue, long& number) {
  Clock::time_point next = Clock::now(), end = next + kWindow;
  for (; next < end; next += kFramePeriod) {
    std::this_thread::sleep_until(next);
    if (!queue) continue;
    double t = static_cast<double>(number) * 0.01;
    kymhost::ViewEvent event;
    event.kind = kymhost::ViewEvent::kFrame;
    event.row.number = number;
    event.row.seconds = t;
    event.row.board[0] = {true, kymhost::FrameKg::Of(70.0, 12.0 * std::sin(1.2566 * t), 7.2 * std::sin(0.739 * t))};
    queue->Push(std::move(event));
    ++number;
  }
}

double CpuPercent(kymhost::ViewEventQueue* queue, long& number) {
  long before = bench::ProcessCpuMicros();
  Clock::time_point start = Clock::now();
  HandOverFrames(queue, number);
  double wall = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  return 100.0 * static_cast<double>(bench::ProcessCpuMicros() - before) / wall;
}

void ViewStreaming(benchmark::State& state) {
  const int viewers = static_cast<int>(state.range(0));
  for (auto _ : state) {
    long number = 0;
    double without = CpuPercent(nullptr, number);
    kymhost::ViewEventQueue queue;
    kymhost::ViewServer server(queue);
    std::string error;
    if (!server.Start(0, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    kymhost::ViewEvent start;
    start.kind = kymhost::ViewEvent::kStart;
    start.start.periodSeconds = 0.01;
    start.start.boards.push_back({"", "0017ab3c4d5e", "Wii Balance Board", "1.01", kymhost::BatteryState::kFine});
    queue.Push(std::move(start));
    std::vector<pid_t> readers;
    std::string self = "/proc/self/exe", flag = kReaderFlag, port = std::to_string(server.Port());
    char* argv[] = {self.data(), flag.data(), port.data(), nullptr};
    for (int i = 0; i < viewers; ++i) {
      pid_t pid = -1;
      if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) == 0) readers.push_back(pid);
    }
    std::this_thread::sleep_for(kSettle);
    double with = CpuPercent(&queue, number);
    server.Stop();
    for (pid_t pid : readers) {
      int status = 0;
      if (waitpid(pid, &status, 0) != pid) kill(pid, SIGKILL);
    }
    state.counters["viewers"] = static_cast<double>(readers.size());
    state.counters["frames"] = static_cast<double>(number);
    state.counters["dropped"] = static_cast<double>(queue.Dropped());
    state.counters["process_cpu_pct"] = with;
    state.counters["view_cpu_pct"] = with - without;
  }
}
BENCHMARK(ViewStreaming)->Arg(1)->Arg(8)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kReaderFlag) == 0) return ReadView(std::atoi(argv[2]));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
