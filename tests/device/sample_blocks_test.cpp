// Sample blocks: whole frames behind the mark byte, never more than the host's room.
#include "device/ring_buffer.h"
#include "testing/fake_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Kestrel::SampleWord;
using testing_support::FakeDevice;

class SampleBlocks : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device.InitialiseWithoutReader()); }

  void AppendValues(int count, SampleWord first = 0) {
    std::vector<SampleWord> values;
    for (int i = 0; i < count; ++i) values.push_back(static_cast<SampleWord>(first + i));
    ASSERT_TRUE(device.AppendValues(values.data(), count));
  }

  FakeDevice device{nullptr, L"Board", L"1"};
  std::string buffer = std::string(1000, '\x7F');
};

TEST_F(SampleBlocks, WholeFramesOnly) {
  AppendValues(10, 0x0100);
  int size = 100;
  ASSERT_TRUE(device.ReadBuffer(&buffer[0], &size, 0));
  EXPECT_EQ(size, 17);
  EXPECT_EQ(buffer[0], '@');
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(static_cast<uint8_t>(buffer[1 + 2 * i]), 0x01);
    EXPECT_EQ(static_cast<uint8_t>(buffer[2 + 2 * i]), i);
  }
  EXPECT_EQ(buffer[17], '\x7F') << "nothing past the block";
  EXPECT_EQ(device.ReadBuffSize(), 2) << "the partial frame stays";
}

TEST_F(SampleBlocks, RoomForLessThanAFrameWritesNothing) {
  AppendValues(8);
  for (int room : {8, 1, 0}) {
    int size = room;
    ASSERT_TRUE(device.ReadBuffer(&buffer[0], &size, 0));
    EXPECT_EQ(size, 1) << room;
    EXPECT_EQ(buffer[0], '\x7F') << room;
  }
  EXPECT_EQ(device.ReadBuffSize(), 8);
  int size = 9;
  ASSERT_TRUE(device.ReadBuffer(&buffer[0], &size, 0));
  EXPECT_EQ(size, 9);
  EXPECT_EQ(device.ReadBuffSize(), 4);
}

TEST_F(SampleBlocks, RoomIsRoundedDownToWholeFrames) {
  AppendValues(40);
  int size = 30;  // room 29: three frames
  ASSERT_TRUE(device.ReadBuffer(&buffer[0], &size, 0));
  EXPECT_EQ(size, 25);
  EXPECT_EQ(buffer[25], '\x7F');
  EXPECT_EQ(device.ReadBuffSize(), 28);
}

TEST_F(SampleBlocks, ValuesGoHighByteFirst) {
  const SampleWord frame[4] = {0x1234, 0xFFFF, 0x8000, 0x0001};
  device.AppendFrame(frame);
  int size = 100;
  ASSERT_TRUE(device.ReadBuffer(&buffer[0], &size, 0));
  ASSERT_EQ(size, 9);
  EXPECT_EQ(buffer.substr(0, 9), std::string("@\x12\x34\xFF\xFF\x80\x00\x00\x01", 9));
}

TEST_F(SampleBlocks, EmptyRingWaitsThenGivesUp) {
  int size = 100;
  EXPECT_FALSE(device.ReadBuffer(&buffer[0], &size, 20));
  EXPECT_EQ(size, 100);
  device.Wake();  // the data event set with nothing to take
  EXPECT_TRUE(device.ReadBuffer(&buffer[0], &size, 1000));
  EXPECT_EQ(size, 1);
  EXPECT_EQ(buffer[0], '\x7F');
}

TEST_F(SampleBlocks, BadArgumentsTakeNothing) {
  AppendValues(8);
  int size = -1;
  EXPECT_FALSE(device.ReadBuffer(&buffer[0], &size, 0));
  EXPECT_FALSE(device.ReadBuffer(&buffer[0], nullptr, 0));
  size = 100;
  EXPECT_FALSE(device.ReadBuffer(nullptr, &size, 0));
  EXPECT_EQ(size, 100);
  EXPECT_EQ(device.ReadBuffSize(), 8);
}

TEST_F(SampleBlocks, FullRingDropsWholeFrames) {
  for (int frame = 0; frame < 8191; ++frame) {
    const SampleWord values[4] = {SampleWord(frame), SampleWord(frame), SampleWord(frame), SampleWord(frame)};
    ASSERT_TRUE(device.AppendFrame(values));
  }
  EXPECT_EQ(device.ReadBuffSize(), 32764);
  const SampleWord late[4] = {9, 9, 9, 9};
  EXPECT_FALSE(device.AppendFrame(late)) << "three free slots cannot take a frame";
  EXPECT_EQ(device.ReadBuffSize(), 32764);

  std::string block(1 + 8 * 8191, '\0');
  int size = static_cast<int>(block.size());
  ASSERT_TRUE(device.ReadBuffer(&block[0], &size, 0));
  ASSERT_EQ(size, static_cast<int>(block.size()));
  for (int frame = 0; frame < 8191; ++frame)
    for (int i = 0; i < 4; ++i) {
      int value = static_cast<uint8_t>(block[1 + 8 * frame + 2 * i]) << 8 | static_cast<uint8_t>(block[2 + 8 * frame + 2 * i]);
      ASSERT_EQ(value, frame);
    }
}

TEST(Ring, HoldsOneLessThanItsCapacityAcrossTheWrap) {
  Kestrel::RingBuffer<int> ring(5);
  const int three[] = {1, 2, 3};
  EXPECT_TRUE(ring.AddAll(three, 3));
  EXPECT_FALSE(ring.AddAll(three, 2)) << "all or nothing";
  EXPECT_TRUE(ring.Add(4));
  EXPECT_FALSE(ring.Add(5));
  EXPECT_EQ(ring.Count(), 4);

  std::vector<int> taken;
  EXPECT_EQ(ring.TakeEach(3, [&](int v) { taken.push_back(v); }), 3);
  EXPECT_TRUE(ring.AddAll(three, 3)) << "written across the end of the storage";
  EXPECT_EQ(ring.Count(), 4);
  EXPECT_EQ(ring.TakeEach(10, [&](int v) { taken.push_back(v); }), 4);
  EXPECT_EQ(taken, (std::vector<int>{1, 2, 3, 4, 1, 2, 3}));
  EXPECT_TRUE(ring.IsEmpty());

  ring.AddAll(three, 3);
  ring.Discard();
  EXPECT_TRUE(ring.IsEmpty());
  int value = 0;
  EXPECT_FALSE(ring.Take(value));
}

}  // namespace
