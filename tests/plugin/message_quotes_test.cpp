// Message reads through GetLastErrorMsg with several host threads: a read with a buffer writes no
// more than its thread was last told for that index, and gets the text it was told of.
#include "plugin/device_table.h"
#include "plugin/exports.h"
#include "testing/fake_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::FakeDevice;

constexpr int kPluginIndex = -1;
constexpr size_t kGuardBytes = 128;  // room for an overrun to show here rather than corrupt the heap
const char kNotResponding[] = "Wii Balance Board not responding or powered off.";
const char kUserStop[] = "Sampling stopped by user.";
const char kDisconnectedStart[] = "The Board has disconnected";

// What a read of index with room bytes returned and wrote; the bytes after the room must stay.
struct Read {
  int result = 0;
  std::string text;
  bool guardsIntact = true;
};

Read ReadMessage(int index, int room) {
  std::vector<char> bytes(static_cast<size_t>(room) + kGuardBytes, 'x');
  Read read;
  read.result = GetLastErrorMsg(index, bytes.data());
  read.text = std::string(bytes.begin(), std::find(bytes.begin(), bytes.begin() + room, '\0'));
  read.guardsIntact = std::string(bytes.begin() + room, bytes.end()) == std::string(kGuardBytes, 'x');
  return read;
}

int AskSize(int index) { return GetLastErrorMsg(index, nullptr); }

int AskSizeOnAnotherThread(int index) {
  int size = 0;
  std::thread([&] { size = AskSize(index); }).join();
  return size;
}

class MessageQuotes : public ::testing::Test {
 protected:
  void SetUp() override { CloseAll(); }
  void TearDown() override { CloseAll(); }
  FakeDevice& AddDevice() {
    int index = DeviceTable::Instance().Append(std::make_unique<FakeDevice>(nullptr, L"Board", L"1"));
    EXPECT_EQ(index, static_cast<int>(devices.size()));
    devices.push_back(static_cast<FakeDevice*>(DeviceTable::Instance().At(index).get()));
    return *devices.back();
  }
  std::vector<FakeDevice*> devices;
};

TEST_F(MessageQuotes, AReadGetsTheTextItsThreadWasToldOfAndANewerMessageWaits) {
  FakeDevice& device = AddDevice();
  device.StoreMessage(L"Sampling stopped by user.");
  const int told = AskSize(0);
  device.Disconnect(0x48F);  // the reader stores a longer message before the host reads
  Read read = ReadMessage(0, told);
  EXPECT_EQ(read.result, told);
  EXPECT_EQ(read.text, kUserStop);
  EXPECT_TRUE(read.guardsIntact) << "written past the size the host was told";
  const int newer = AskSize(0);
  ASSERT_GT(newer, told) << "the newer message waits for the next read";
  EXPECT_EQ(ReadMessage(0, newer).text.rfind(kDisconnectedStart, 0), 0u);
  EXPECT_EQ(AskSize(0), 1);
}

TEST_F(MessageQuotes, EachThreadReadsWhatItWasTold) {
  FakeDevice& device = AddDevice();
  device.StoreMessage(L"Sampling stopped by user.");
  const int told = AskSize(0);
  device.Disconnect(0x48F);
  const int otherTold = AskSizeOnAnotherThread(0);
  ASSERT_GT(otherTold, told);
  Read read = ReadMessage(0, told);
  EXPECT_EQ(read.text, kUserStop);
  EXPECT_TRUE(read.guardsIntact) << "written past this thread's quote";
  Read other;
  std::thread([&] { other = ReadMessage(0, otherTold); }).join();
  EXPECT_EQ(other.text.rfind(kDisconnectedStart, 0), 0u) << other.text;
}

// A quote of device 0's message is not spent by a question about the plug-in's own.
TEST_F(MessageQuotes, AQuoteBelongsToItsThreadAndItsIndex) {
  FakeDevice& device = AddDevice();
  device.Disconnect(0x48F);
  const int told = AskSize(0);
  ASSERT_EQ(AskSize(kPluginIndex), static_cast<int>(sizeof kNotResponding));
  Read read = ReadMessage(0, told);
  EXPECT_EQ(read.result, told);
  EXPECT_EQ(read.text.size(), static_cast<size_t>(told - 1)) << "cut to the plug-in's size: " << read.text;
  EXPECT_EQ(AskSize(0), 1) << "delivered, then cleared";
}

// Threads that ask and end without reading must not push out the quote of a thread still reading.
TEST_F(MessageQuotes, ManyThreadsThatAskAndEndLeaveEveryOtherQuoteInForce) {
  AddDevice();
  const int told = AskSize(kPluginIndex);
  ASSERT_EQ(told, static_cast<int>(sizeof kNotResponding));
  CloseAll();  // the plug-in's message is now a longer one
  ASSERT_GT(AskSizeOnAnotherThread(kPluginIndex), told);
  for (int thread = 0; thread < 100; ++thread) AskSizeOnAnotherThread(kPluginIndex);
  Read read = ReadMessage(kPluginIndex, told);
  EXPECT_EQ(read.result, told);
  EXPECT_EQ(read.text, kNotResponding) << "the text this thread was told of";
  EXPECT_TRUE(read.guardsIntact) << "written past the size this thread was told";
}

// Told "no message" long ago, the thread then learns of a disconnect from the device itself: its
// read gets the new message, not the empty one it was once told of.
TEST_F(MessageQuotes, AnAbortOrDisconnectLineEndsTheQuoteOfTheMessageBefore) {
  FakeDevice& device = AddDevice();
  ASSERT_TRUE(device.InitialiseWithoutReader());
  ASSERT_EQ(AskSize(0), 1);
  device.Disconnect(0x48F);
  char block[64];
  int size = sizeof block;
  ASSERT_EQ(ReadBuffer(0, block, &size, 0), 1);
  ASSERT_STREQ(block, "#Device disconnected\n");
  Read read = ReadMessage(0, 256);
  EXPECT_EQ(read.text.rfind(kDisconnectedStart, 0), 0u) << "got '" << read.text << "'";
  EXPECT_EQ(AskSize(0), 1);
}

// A block with no whole frame for the room writes nothing: whatever the host's buffer still holds
// from an abort line it read before is no news, and the quote stays in force.
TEST_F(MessageQuotes, ABlockThatWritesNothingIsNoNews) {
  FakeDevice& device = AddDevice();
  ASSERT_TRUE(device.InitialiseWithoutReader());
  device.StoreMessage(L"Sampling stopped by user.");
  const int told = AskSize(0);
  device.Disconnect(0x48F);  // a longer message, and no disconnect line while a frame is held
  const Kestrel::SampleWord frame[testing_support::kFakeChannels] = {1, 2, 3, 4};
  ASSERT_TRUE(device.AppendFrame(frame));
  char block[] = "#abort Sampling stopped by user action.";  // left from the host's last read
  int size = 1 + 2 * testing_support::kFakeChannels - 1;  // one byte short of a frame
  ASSERT_EQ(ReadBuffer(0, block, &size, 0), 1);
  ASSERT_EQ(size, 1);
  Read read = ReadMessage(0, told);
  EXPECT_TRUE(read.guardsIntact) << "written past the size the host was told";
  EXPECT_EQ(read.text, kUserStop);
}

}  // namespace
