// kymhost run as its users run it: a process with a scenario named by PLANKSCALE_SIM, judged by
// what it prints, the files it writes and its exit code. Shared by kymhost's process tests.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace kymhost_process {

using Clock = std::chrono::steady_clock;

// Generous, for the sanitizer builds on a busy machine; a normal run ends long before.
constexpr auto kLongestRun = std::chrono::seconds(120);
constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr int kExitOk = 0, kExitNoBoard = 2, kExitBatteries = 5, kExitDisconnected = 6, kExitInputFailed = 8;
constexpr double kFramePeriod = 0.01;

struct Outcome {
  bool finished = false;
  int exitCode = -1;
  std::string out, err;
  std::string Both() const { return "--- stdout:\n" + out + "--- stderr:\n" + err; }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
}

class Kymhost : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    prefix_ = ::testing::TempDir() + "kymhost_" + info->name() + "_" + std::to_string(getpid()) + "_";
  }
  void TearDown() override {
    for (const auto& path : files_) std::remove(path.c_str());
  }
  std::string Path(const std::string& name) {
    files_.push_back(prefix_ + name);
    return files_.back();
  }

  // Runs kymhost with the scenario and the arguments. interrupt, when set, is how long after
  // kymhost says it is recording it gets SIGINT; each of keys is typed (on a pipe) that long
  // after it says so.
  // beside, when given, runs on a thread of its own while kymhost runs, with the path of
  // kymhost's standard output; it must bound its own waits.
  Outcome Run(const std::string& scenario, std::vector<std::string> args,
              std::chrono::milliseconds interrupt = std::chrono::milliseconds(0),
              std::vector<std::pair<std::chrono::milliseconds, std::string>> keys = {},
              const std::function<void(const std::string& stdoutPath)>& beside = {}) {
    std::string world = Path("world.scenario"), out = Path("stdout.txt"), err = Path("stderr.txt");
    WriteFile(world, scenario);

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
      if (std::strncmp(*e, "PLANKSCALE_SIM=", 15) != 0) environment.emplace_back(*e);
    }
    environment.push_back("PLANKSCALE_SIM=" + world);
    args.insert(args.begin(), KYMHOST_PATH);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    for (auto& e : environment) envp.push_back(&e[0]);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int keyboard[2] = {-1, -1};
    if (!keys.empty() && pipe(keyboard) == 0) {
      signal(SIGPIPE, SIG_IGN);  // kymhost may end before the last key
      posix_spawn_file_actions_adddup2(&actions, keyboard[0], STDIN_FILENO);
      posix_spawn_file_actions_addclose(&actions, keyboard[0]);
      posix_spawn_file_actions_addclose(&actions, keyboard[1]);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, KYMHOST_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (keyboard[0] >= 0) close(keyboard[0]);
    Outcome outcome;
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    if (spawned != 0) return outcome;
    std::thread besideThread;
    if (beside) besideThread = std::thread(beside, out);

    Clock::time_point deadline = Clock::now() + kLongestRun, interruptAt = Clock::time_point::max();
    Clock::time_point recordingAt = Clock::time_point::max();
    int status = 0;
    for (;;) {
      pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        outcome.finished = true;
        break;
      }
      Clock::time_point now = Clock::now();
      if (now > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      if (interrupt.count() > 0 && interruptAt == Clock::time_point::max() &&
          ReadFile(out).find("Recording") != std::string::npos) {
        interruptAt = now + interrupt;
      }
      if (now >= interruptAt) {
        kill(pid, SIGINT);
        interruptAt = Clock::time_point::max();
        interrupt = std::chrono::milliseconds(0);
      }
      if (!keys.empty() && recordingAt == Clock::time_point::max() &&
          ReadFile(out).find("Recording") != std::string::npos)
        recordingAt = now;
      if (!keys.empty() && recordingAt != Clock::time_point::max() && now >= recordingAt + keys.front().first) {
        ssize_t written = write(keyboard[1], keys.front().second.data(), keys.front().second.size());
        EXPECT_EQ(written, static_cast<ssize_t>(keys.front().second.size()));
        keys.erase(keys.begin());
      }
      std::this_thread::sleep_for(kPoll);
    }
    if (keyboard[1] >= 0) close(keyboard[1]);
    if (besideThread.joinable()) besideThread.join();
    if (outcome.finished && WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    return outcome;
  }

  // The frame count of kymhost's summary line, or -1.
  static long RecordedFrames(const Outcome& run) {
    size_t at = run.out.find("Recorded ");
    return at == std::string::npos ? -1 : std::atol(run.out.c_str() + at + 9);
  }

 private:
  std::string prefix_;
  std::vector<std::string> files_;
};

}  // namespace kymhost_process
