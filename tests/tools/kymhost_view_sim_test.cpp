// kymhost --view as its users and other programs meet it: the stream read beside a simulated run
// and compared with the CSV, what the view refuses while the run goes on undisturbed, and the page
// in a real browser (headless Chromium) drawing the frames of the run.
#include "kymhost_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kymhost_process;

constexpr auto kLongestWait = std::chrono::seconds(60);
constexpr char kSwaying[] = "radio\nboard paired yes\n  load sway 70 kg\n";
constexpr char kChromium[] = "/usr/bin/chromium";

// The port of the "View: http://127.0.0.1:PORT/" line, once kymhost has printed it; 0 if it never does.
int ViewPort(const std::string& stdoutPath) {
  const std::string line = "View: http://127.0.0.1:";
  for (Clock::time_point end = Clock::now() + kLongestWait; Clock::now() < end; std::this_thread::sleep_for(kPoll)) {
    std::string out = ReadFile(stdoutPath);
    size_t at = out.find(line);
    if (at != std::string::npos && out.find('\n', at) != std::string::npos) return std::atoi(out.c_str() + at + line.size());
  }
  return 0;
}

bool WaitFor(const std::string& path, const std::string& text) {
  for (Clock::time_point end = Clock::now() + kLongestWait; Clock::now() < end; std::this_thread::sleep_for(kPoll))
    if (ReadFile(path).find(text) != std::string::npos) return true;
  return false;
}

// A connection to the view that has sent its request; closed with the object.
class Connection {
 public:
  Connection(int port, const std::string& request, int receiveBuffer = 0) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 send(fd_, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  }
  ~Connection() { close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Everything the view sends until it closes the connection, or until the wait is over.
  std::string ReadToEnd() {
    std::string text;
    char room[16384];
    for (Clock::time_point end = Clock::now() + kLongestWait; connected_ && Clock::now() < end;) {
      pollfd entry{fd_, POLLIN, 0};
      if (poll(&entry, 1, 100) <= 0) continue;
      ssize_t got = recv(fd_, room, sizeof room, 0);
      if (got <= 0) break;
      text.append(room, static_cast<size_t>(got));
    }
    return text;
  }

 private:
  int fd_;
  bool connected_ = false;
};

std::string Get(const std::string& path, int port, const std::string& host = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: " + (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) +
         "\r\n\r\n";
}

std::string Status(const std::string& response) { return response.substr(0, response.find("\r\n")); }

struct SseEvent {
  std::string name, data;
};

std::vector<SseEvent> Events(const std::string& stream) {
  std::vector<SseEvent> events;
  size_t at = stream.find("\r\n\r\n");
  if (at == std::string::npos) return events;
  std::istringstream lines(stream.substr(at + 4));
  SseEvent event;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) {
      if (!event.name.empty()) events.push_back(event);
      event = SseEvent{};
    } else if (line.rfind("event: ", 0) == 0) {
      event.name = line.substr(7);
    } else if (line.rfind("data: ", 0) == 0) {
      event.data += (event.data.empty() ? "" : "\n") + line.substr(6);
    }
  }
  return events;
}

// The CSV's rows after its header, each split at its commas.
std::vector<std::vector<std::string>> CsvRows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(ReadFile(path));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::vector<std::string> cells;
    std::istringstream row(line);
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

// A frame event's data as the stream must carry the CSV row: the same numbers, the same digits.
std::string FrameOfRow(const std::vector<std::string>& row) {
  return "{\"t\": " + row[0] + ", \"total_kg\": " + row[5] + ", \"cop_x_mm\": " + row[6] + ", \"cop_y_mm\": " + row[7] +
         ", \"corners_kg\": [" + row[1] + ", " + row[2] + ", " + row[3] + ", " + row[4] + "]}";
}

double NumberAfter(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\":");
  return at == std::string::npos ? std::nan("") : std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

// The environment variable as it was, given back at the end of the scope.
class EnvironmentChange {
 public:
  EnvironmentChange(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvironmentChange() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  EnvironmentChange(const EnvironmentChange&) = delete;
  EnvironmentChange& operator=(const EnvironmentChange&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST_F(Kymhost, TheViewsStreamCarriesTheSessionAndEveryFrameOfTheCsv) {
  std::string csv = Path("run.csv"), summary = Path("run.json"), opened = Path("opened.txt"), stream;
  // --view-open on a desktop: an xdg-open that notes what it was asked to open.
  std::string bin = Path("bin");
  std::filesystem::create_directory(bin);
  WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + opened + "'\n");
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  Outcome run;
  {
    EnvironmentChange path("PATH", bin + ":" + std::getenv("PATH")), display("DISPLAY", ":99");
    run = Run(kSwaying, {"--view-open", "--seconds", "2", "--csv", csv, "--summary", summary}, {}, {},
              [&](const std::string& out) {
                int port = ViewPort(out);
                if (port > 0) stream = Connection(port, Get("/events", port)).ReadToEnd();
              });
  }
  std::filesystem::remove_all(bin);
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  ASSERT_EQ(run.out.find("View: "), 0u) << "the address before anything else\n" << run.Both();
  EXPECT_EQ(ReadFile(opened), run.out.substr(6, run.out.find('\n') - 5)) << "the address, opened";
  EXPECT_EQ(Status(stream), "HTTP/1.1 200 OK") << stream.substr(0, 400);
  EXPECT_NE(stream.find("Content-Type: text/event-stream"), std::string::npos);

  std::vector<std::string> frames, messages;
  std::map<std::string, std::string> last;
  for (const SseEvent& event : Events(stream)) {
    if (event.name == "frame") frames.push_back(event.data);
    if (event.name == "message") messages.push_back(event.data);
    last[event.name] = event.data;
  }
  std::vector<std::vector<std::string>> rows = CsvRows(csv);
  ASSERT_EQ(rows.size(), 200u);
  ASSERT_EQ(frames.size(), rows.size()) << "every frame, not a decimated stream";
  for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(frames[i], FrameOfRow(rows[i])) << "frame " << i;

  // What kymhost said before, during and after the run, the board's identity, the summary it wrote.
  for (const char* said : {"Found 1 board; using index 0.", "Serial number:  0017ab3c4d5e", "Recorded 200 frames (2.00 s).",
                           "Board closed."})
    EXPECT_NE(std::find(messages.begin(), messages.end(), said), messages.end()) << said;
  EXPECT_NE(last["start"].find("\"serial\": \"0017ab3c4d5e\", \"type\": \"Wii Balance Board\", \"version\": \"1.01\", "
                               "\"battery\": \"fine\""),
            std::string::npos)
      << last["start"];
  EXPECT_EQ(last["summary"] + "\n", ReadFile(summary));
  EXPECT_NEAR(NumberAfter(last["ellipse"], "area_mm2"), NumberAfter(ReadFile(summary), "ellipse95_area_mm2"), 1.0);
  EXPECT_EQ(Events(stream).back().name, "end");
}

// Eight viewers that never read, a ninth refused, requests from elsewhere or malformed: the
// recording keeps every frame, and a marker from the page lands as one from Enter does.
TEST_F(Kymhost, TheViewRefusesWhatIsNotItsOwnAndNeverHoldsUpTheRecording) {
  std::string csv = Path("run.csv");
  std::map<std::string, std::string> answers;
  Outcome run = Run(kSwaying, {"--view", "0", "--seconds", "4", "--csv", csv}, {}, {}, [&](const std::string& out) {
    int port = ViewPort(out);
    if (port == 0) return;
    std::string host = "127.0.0.1:" + std::to_string(port);
    std::vector<std::unique_ptr<Connection>> silent;
    for (int i = 0; i < 8; ++i) silent.push_back(std::make_unique<Connection>(port, Get("/events", port), 1024));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    answers["ninth viewer"] = Status(Connection(port, Get("/events", port)).ReadToEnd());
    answers["another host"] = Status(Connection(port, Get("/", port, "evil.example:" + std::to_string(port))).ReadToEnd());
    answers["no host"] = Status(Connection(port, "GET / HTTP/1.1\r\n\r\n").ReadToEnd());
    answers["malformed"] = Status(Connection(port, "GET /\r\nHost: " + host + "\r\n\r\n").ReadToEnd());
    answers["another file"] = Status(Connection(port, Get("/../etc/passwd", port)).ReadToEnd());
    std::string page = Connection(port, Get("/", port, "localhost:" + std::to_string(port))).ReadToEnd();
    answers["page"] = Status(page);
    size_t at = page.find("name=\"kymhost-marker-token\" content=\"");
    std::string token = at == std::string::npos ? "" : page.substr(at + 37, 32);
    std::string post = "POST /marker HTTP/1.1\r\nHost: " + host + "\r\nContent-Length: 0\r\n";
    answers["marker without token"] = Status(Connection(port, post + "\r\n").ReadToEnd());
    answers["marker with another token"] =
        Status(Connection(port, post + "X-Kymhost-Token: " + std::string(32, '0') + "\r\n\r\n").ReadToEnd());
    if (!WaitFor(out, "Recording for")) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    answers["marker"] = Status(Connection(port, post + "X-Kymhost-Token: " + token + "\r\n\r\n").ReadToEnd());
  });
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  const std::map<std::string, std::string> expected = {
      {"ninth viewer", "HTTP/1.1 503 Service Unavailable"}, {"another host", "HTTP/1.1 403 Forbidden"},
      {"no host", "HTTP/1.1 400 Bad Request"},               {"malformed", "HTTP/1.1 400 Bad Request"},
      {"another file", "HTTP/1.1 404 Not Found"},            {"page", "HTTP/1.1 200 OK"},
      {"marker without token", "HTTP/1.1 403 Forbidden"},    {"marker with another token", "HTTP/1.1 403 Forbidden"},
      {"marker", "HTTP/1.1 204 No Content"}};
  for (const auto& [request, status] : expected) EXPECT_EQ(answers[request], status) << request;

  EXPECT_NE(run.out.find("Recorded 400 frames (4.00 s)."), std::string::npos) << run.Both();
  EXPECT_NE(run.out.find("Marker 1 at "), std::string::npos) << run.Both();
  std::vector<std::vector<std::string>> rows = CsvRows(csv);
  ASSERT_EQ(rows.size(), 400u);
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const auto& row) { return row.size() == 9 && row[8] == "1"; }), 1);
}

// Runs Chromium headless on the address until the page's stream ends (its virtual time waits for
// the network), with the arguments given; false when it did not end in time.
bool RunChromium(const std::string& profile, const std::vector<std::string>& arguments, const std::string& stdoutPath) {
  std::vector<std::string> args = {kChromium,        "--headless",         "--no-sandbox",
                                   "--disable-gpu",  "--disable-quic",     "--no-first-run",
                                   "--disable-sync", "--disable-component-update", "--disable-background-networking",
                                   "--user-data-dir=" + profile, "--virtual-time-budget=5000"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, kChromium, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  for (Clock::time_point end = Clock::now() + kLongestWait; Clock::now() < end; std::this_thread::sleep_for(kPoll))
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return false;
}

// The page's drawn state (its "?state" mirror) in Chromium's dump of the page's DOM.
std::string DrawnState(const std::string& dom) {
  size_t at = dom.find("<pre id=\"drawn-state\"");
  size_t start = at == std::string::npos ? at : dom.find('>', at);
  if (start == std::string::npos) return {};
  std::string state = dom.substr(start + 1, dom.find("</pre>", start) - start - 1);
  for (auto [escaped, plain] : {std::pair{"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
    for (size_t e; (e = state.find(escaped)) != std::string::npos;) state.replace(e, std::strlen(escaped), plain);
  return state;
}

// The [t, x, y] points of the page's trace, as it plotted them.
std::vector<std::vector<double>> TracePoints(const std::string& state) {
  std::vector<std::vector<double>> points;
  size_t at = state.find("\"trace\":[");
  if (at == std::string::npos) return points;
  const char* p = state.c_str() + at + 9;
  while (*p == '[') {
    std::vector<double> point;
    for (++p; *p && *p != ']';) {
      char* end = nullptr;
      point.push_back(std::strtod(p, &end));
      if (end == p) return points;  // a null: nobody stood, which the swaying person never does
      p = *end == ',' ? end + 1 : end;
    }
    points.push_back(point);
    p += *p == ']' ? 1 : 0;
    p += *p == ',' ? 1 : 0;
  }
  return points;
}

// Where Chromium cannot run, scripts/test.sh says so and leaves this test out.
TEST_F(Kymhost, InABrowserThePageDrawsTheFramesOfTheCsvAndStaysAfterKymhostEnds) {
  if (access(kChromium, X_OK) != 0) GTEST_SKIP() << kChromium << " is not installed";
  const char* kept = std::getenv("PLANKSCALE_VIEW_SCREENSHOT");
  std::string csv = Path("run.csv"), summary = Path("run.json"), dom = Path("dom.html"), shot = kept ? kept : Path("view.png");
  std::string profiles[] = {Path("profile-dom"), Path("profile-shot")}, shotOutput = Path("shot.txt");
  bool dumped = false, shown = false;
  Outcome run = Run(kSwaying, {"--view", "0", "--seconds", "6", "--csv", csv, "--summary", summary}, {}, {},
                    [&](const std::string& out) {
                      int port = ViewPort(out);
                      if (port == 0) return;
                      std::string address = "http://127.0.0.1:" + std::to_string(port) + "/";
                      std::thread screenshot([&] {
                        shown = RunChromium(profiles[1], {"--window-size=1400,1000", "--screenshot=" + shot, address},
                                            shotOutput);
                      });
                      dumped = RunChromium(profiles[0], {"--dump-dom", address + "?state"}, dom);
                      screenshot.join();
                    });
  for (const std::string& profile : profiles) std::filesystem::remove_all(profile);
  ASSERT_EQ(run.exitCode, kExitOk) << run.Both();
  ASSERT_TRUE(dumped && shown) << "Chromium did not finish with the page";

  std::string state = DrawnState(ReadFile(dom));
  EXPECT_NE(state.find("\"phase\":\"ended\""), std::string::npos) << state.substr(0, 300);
  std::vector<std::vector<std::string>> rows = CsvRows(csv);
  ASSERT_EQ(rows.size(), 600u);
  EXPECT_EQ(NumberAfter(state, "frames_received"), 600);
  // The run is shorter than the trace's 10 s: the page plotted every frame, each where the CSV has it.
  std::vector<std::vector<double>> points = TracePoints(state);
  ASSERT_EQ(points.size(), rows.size()) << state.substr(0, 300);
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(points[i].size(), 3u);
    EXPECT_DOUBLE_EQ(points[i][0], std::atof(rows[i][0].c_str())) << i;
    EXPECT_DOUBLE_EQ(points[i][1], std::atof(rows[i][6].c_str())) << i;
    EXPECT_DOUBLE_EQ(points[i][2], std::atof(rows[i][7].c_str())) << i;
  }
  // Everyone stood all along, so the page's ellipse so far is the summary's.
  EXPECT_NEAR(NumberAfter(state, "area_mm2"), NumberAfter(ReadFile(summary), "ellipse95_area_mm2"), 1.0);
  std::string png = ReadFile(shot);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_GT(png.size(), 20'000u) << "a screenshot of a drawn page, not a blank one";
}

}  // namespace
