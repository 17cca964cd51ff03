// The host's text channel: command lines in, reply lines out.
#include "plugin/device_table.h"
#include "plugin/exports.h"
#include "testing/fake_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::FakeDevice;

class TextChannel : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device.InitialiseWithoutReader()); }

  bool Write(const std::string& text) { return device.WriteBuffer(text.data(), static_cast<int>(text.size()), 0); }

  // The next reply line, or "<none>" when no complete line is queued.
  std::string Line(int size = 300, int timeoutMs = 0) {
    std::string buffer(static_cast<size_t>(size > 0 ? size : 1), '\x7F');
    if (!device.ReadLine(&buffer[0], size, timeoutMs)) return "<none>";
    return buffer.c_str();
  }

  FakeDevice device{nullptr, L"Board", L"1"};
};

TEST_F(TextChannel, CommandLinesAreCollectedAcrossWrites) {
  EXPECT_TRUE(Write(">in/nachans"));
  EXPECT_EQ(Line(), "<none>") << "no reply before the line ends";
  EXPECT_TRUE(Write("\n"));
  EXPECT_EQ(Line(), "=4");
  EXPECT_EQ(Line(), "<none>");

  EXPECT_TRUE(Write(">in/nachans\n?in/nachans\n"));
  EXPECT_EQ(Line(), "=4");
  EXPECT_EQ(Line(), "=4");
}

TEST_F(TextChannel, CrLfAnswersTheCommandThenTheEmptyLine) {
  Write(">in/nachans\r\n");
  EXPECT_EQ(Line(), "=4");
  EXPECT_EQ(Line(), "^Eh?");
  EXPECT_EQ(Line(), "<none>");
}

TEST_F(TextChannel, LinesOf256BytesAreDroppedWithoutReply) {
  Write(std::string(300, 'x') + ">in/nachans\n");
  EXPECT_EQ(Line(), "^Eh?") << "the 44 x's left over lead the line";
  EXPECT_EQ(Line(), "<none>");

  std::string longest = ">in/nachans/";
  longest += std::string(255 - longest.size(), 'y');
  Write(longest + "\n");
  EXPECT_EQ(Line(), "=4") << "255 bytes and the terminator are still one line";

  Write(longest + "y\n");
  EXPECT_EQ(Line(), "^Eh?") << "256 bytes are dropped; the line feed alone ends an empty line";
  EXPECT_EQ(Line(), "<none>");
}

TEST_F(TextChannel, NulInsideALineEndsItForTheInterpreter) {
  Write(std::string(">in/nachans\0junk\n", 17));
  EXPECT_EQ(Line(), "=4");
}

TEST_F(TextChannel, BadWriteArgumentsChangeNothingAndAnswerTrue) {
  Write(">in/nach");
  EXPECT_TRUE(device.WriteBuffer(nullptr, 5, 0));
  EXPECT_TRUE(device.WriteBuffer("\n", -1, 0)) << "a write always succeeds; a negative length is harmless";
  EXPECT_TRUE(device.WriteBuffer("", 0, 0));
  Write("ans\n");
  EXPECT_EQ(Line(), "=4") << "the partial line survived";
}

TEST_F(TextChannel, SmallBuffersSplitLines) {
  device.QueueReply("abcdef\n");
  EXPECT_EQ(Line(4), "abc");
  EXPECT_EQ(Line(4), "def");
  EXPECT_EQ(Line(4), "") << "the left-over line feed";
  EXPECT_EQ(Line(4, 10), "<none>");

  device.QueueReply("xy\n");
  EXPECT_EQ(Line(1), "") << "size 1 takes nothing";
  EXPECT_EQ(Line(1), "");
  EXPECT_EQ(Line(), "xy");
}

TEST_F(TextChannel, BadReadArgumentsTakeNothing) {
  device.QueueReply("ok\n");
  char buffer[8] = "keep";
  EXPECT_FALSE(device.ReadLine(buffer, 0, 0));
  EXPECT_FALSE(device.ReadLine(buffer, -5, 0));
  EXPECT_FALSE(device.ReadLine(nullptr, 8, 0));
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(Line(), "ok");
}

TEST_F(TextChannel, IncompleteLineWaitsThenStaysQueued) {
  device.QueueReply("ab");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Line(300, 60), "<none>");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  device.QueueReply("c\n");
  EXPECT_EQ(Line(), "abc");
}

TEST_F(TextChannel, SampleWakeUpsDoNotStretchTheWaitForALine) {
  device.QueueReply("ab");
  std::atomic<bool> stop{false};
  std::thread samples([&] {
    for (int i = 0; i < 1000 && !stop; ++i) {
      device.Wake();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Line(300, 100), "<none>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  stop = true;
  samples.join();
}

TEST_F(TextChannel, FullReplyRingAddsNothing) {
  device.QueueReply((std::string(4094, 'x') + "\n").c_str());
  device.QueueReply("more\n");
  EXPECT_EQ(Line(5000), std::string(4094, 'x'));
  EXPECT_EQ(Line(), "<none>") << "the 4096th byte was dropped, and all after it";

  device.QueueReply("again\n");
  EXPECT_EQ(Line(), "again") << "room again once read, across the wrap";
}

TEST_F(TextChannel, FlushDiscardsRepliesAndSamples) {
  Write(">in/nachans\n");
  const Kestrel::SampleWord frame[4] = {1, 2, 3, 4};
  device.AppendFrame(frame);
  device.FlushReadBuffer();
  EXPECT_EQ(Line(), "<none>");
  EXPECT_EQ(device.ReadBuffSize(), 0);
  Write(">in/nachans\n");
  EXPECT_EQ(Line(), "=4");
}

// Host threads take reply lines while another writes commands: each line goes to one of them,
// whole, and the scan for a line's end never looks at a byte the writer has not published
// (ThreadSanitizer sees it when it does).
TEST(TextChannelThreads, ReadersAndAWriterShareTheLinesWhole) {
  CloseAll();
  auto owned = std::make_unique<FakeDevice>(nullptr, L"Board", L"1");
  ASSERT_TRUE(owned->InitialiseWithoutReader());
  const int index = DeviceTable::Instance().Append(std::move(owned));
  constexpr int kCommands = 100000;
  std::atomic<int> lines{0};
  std::atomic<int> garbled{0};
  std::atomic<bool> written{false};
  auto reader = [&] {
    char line[16];
    for (;;) {
      bool allWritten = written.load();  // before the read: a line written meanwhile is found next time
      if (ReadLine(index, line, sizeof line, 10)) {
        if (std::string(line) == "=4") ++lines; else ++garbled;
      } else if (allWritten) {
        break;
      }
    }
  };
  std::vector<std::thread> readers;
  for (int n = 0; n < 4; ++n) readers.emplace_back(reader);
  for (int command = 0; command < kCommands; ++command) {
    while (command - lines.load() - garbled.load() > 1000) std::this_thread::yield();  // the ring holds 4095 bytes
    WriteBuffer(index, ">in/nachans\n", 12, 0);
  }
  written.store(true);
  for (auto& r : readers) r.join();
  EXPECT_EQ(lines.load(), kCommands);
  EXPECT_EQ(garbled.load(), 0);
  CloseAll();
}

}  // namespace
