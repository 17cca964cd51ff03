// What kymhost's XDF files hold, for their writer and their reader (XDF 1.0, the format of the
// lab streaming layer's recorder): chunk tags, the boundary mark, and each board's channels.
#pragma once

#include <cstdint>

namespace kymhost {
namespace xdf {

constexpr char kMagic[] = "XDF:";
enum Tag : uint16_t { kFileHeader = 1, kStreamHeader = 2, kSamples = 3, kClockOffset = 4, kBoundary = 5,
                      kStreamFooter = 6 };
// Every boundary chunk carries these bytes, so that a reader can find its way past damage.
constexpr uint8_t kBoundaryMark[16] = {0x43, 0xA5, 0x46, 0xDC, 0xCB, 0xF5, 0x41, 0x0F,
                                       0xB3, 0x0E, 0xD5, 0x46, 0x73, 0x83, 0xCB, 0xE4};
// A sample's time stamp byte: 8 when a double follows, 0 when it is the one before plus a period.
constexpr uint8_t kTimeStampFollows = 8;

struct Channel {
  const char* label;
  const char* unit;
};
// A board's stream, in this order: the corners as the host's channels 1 to 4, then the rest.
constexpr Channel kBoardChannels[] = {{"top left", "kg"}, {"bottom left", "kg"}, {"top right", "kg"},
                                      {"bottom right", "kg"}, {"total", "kg"}, {"CoP x", "mm"},
                                      {"CoP y", "mm"}};
constexpr int kChannelsPerBoard = 7;
constexpr char kBoardStreamType[] = "Force";
constexpr char kMarkerStreamType[] = "Markers";

}  // namespace xdf
}  // namespace kymhost
