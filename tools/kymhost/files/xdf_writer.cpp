#include "files/xdf_writer.h"

#include "files/fixed_format.h"
#include "files/local_time.h"
#include "files/text_file.h"
#include "files/xdf_format.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace kymhost {

namespace {

constexpr uint32_t kSamplesPerChunk = 100;    // a second of frames
constexpr long kRowsBetweenBoundaries = 1000;  // ten seconds

template <typename T>
void Append(std::string& bytes, T value) {
  char raw[sizeof value];
  std::memcpy(raw, &value, sizeof value);  // little-endian on every machine kymhost runs on
  bytes.append(raw, sizeof value);
}

// XDF's counts and lengths: a byte saying how many bytes follow (1, 4 or 8), then the number.
void AppendCount(std::string& bytes, uint64_t count) {
  if (count <= UINT8_MAX) {
    Append<uint8_t>(bytes, 1);
    Append<uint8_t>(bytes, static_cast<uint8_t>(count));
  } else if (count <= UINT32_MAX) {
    Append<uint8_t>(bytes, 4);
    Append<uint32_t>(bytes, static_cast<uint32_t>(count));
  } else {
    Append<uint8_t>(bytes, 8);
    Append<uint64_t>(bytes, count);
  }
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

std::string Element(const char* name, const std::string& value) {
  return std::string("<") + name + ">" + value + "</" + name + ">";
}

std::string IsoTime(std::time_t when) {
  std::tm local = LocalTime(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

std::string WithId(uint32_t id, const std::string& rest) {
  std::string content;
  Append<uint32_t>(content, id);
  return content + rest;
}

}  // namespace

void XdfWriter::Chunk(uint16_t tag, const std::string& content) {
  chunk_.clear();
  AppendCount(chunk_, content.size() + sizeof tag);
  Append<uint16_t>(chunk_, tag);
  chunk_ += content;
  file_.Write(chunk_);
}

bool XdfWriter::Start(const RunStart& start) {
  if (!file_.Open(path_)) {
    std::fprintf(stderr, "kymhost: cannot write %s\n", path_.c_str());
    return false;
  }
  startSeconds_ = lastHostSeconds_ = start.hostClockSeconds;
  periodSeconds_ = start.periodSeconds;
  file_.Write(xdf::kMagic);
  std::string fileHeader = "<?xml version=\"1.0\"?><info>" + Element("version", "1.0");
  if (start.wallClock != 0) fileHeader += Element("datetime", IsoTime(start.wallClock));
  Chunk(xdf::kFileHeader, fileHeader + "</info>");

  size_t boards = start.boards.empty() ? 1 : start.boards.size();
  boards_.assign(boards, Stream{});
  std::string rate = Plain(1 / start.periodSeconds);
  for (size_t b = 0; b < boards; ++b) {
    boards_[b].id = static_cast<uint32_t>(b + 1);
    BoardIdentity identity = b < start.boards.size() ? start.boards[b] : BoardIdentity{};
    std::string name = boards > 1 ? "Wii Balance Board " + std::to_string(b + 1) : "Wii Balance Board";
    std::string channels;
    for (const xdf::Channel& channel : xdf::kBoardChannels)
      channels += "<channel>" + Element("label", channel.label) + Element("unit", channel.unit) +
                  Element("type", xdf::kBoardStreamType) + "</channel>";
    std::string xml = "<?xml version=\"1.0\"?><info>" + Element("name", Escaped(name)) +
                      Element("type", xdf::kBoardStreamType) +
                      Element("channel_count", std::to_string(xdf::kChannelsPerBoard)) +
                      Element("nominal_srate", rate) + Element("channel_format", "float32") +
                      Element("source_id", Escaped(identity.serial)) + Element("created_at", Plain(startSeconds_)) +
                      "<desc>" + Element("channels", channels) +
                      Element("acquisition", Element("model", "Wii Balance Board") +
                                                 Element("serial_number", Escaped(identity.serial)) +
                                                 Element("name", Escaped(identity.label))) +
                      Element("trial", Escaped(start.label)) + "</desc></info>";
    Chunk(xdf::kStreamHeader, WithId(boards_[b].id, xml));
  }
  markers_ = Stream{};
  markers_.id = static_cast<uint32_t>(boards + 1);
  Chunk(xdf::kStreamHeader,
        WithId(markers_.id, "<?xml version=\"1.0\"?><info>" + Element("name", "kymhost markers") +
                                Element("type", xdf::kMarkerStreamType) + Element("channel_count", "1") +
                                Element("nominal_srate", "0") + Element("channel_format", "string") +
                                Element("created_at", Plain(startSeconds_)) + "<desc>" +
                                Element("trial", Escaped(start.label)) + "</desc></info>"));
  return true;
}

void XdfWriter::Stamp(Stream& stream, double seconds) {
  if (stream.count == 0) stream.first = seconds;
  stream.last = seconds;
  ++stream.count;
  ++stream.waiting;
  Append<uint8_t>(stream.samples, xdf::kTimeStampFollows);
  Append<double>(stream.samples, seconds);
}

void XdfWriter::FlushSamples(Stream& stream) {
  if (stream.waiting == 0) return;
  std::string content;
  Append<uint32_t>(content, stream.id);
  AppendCount(content, stream.waiting);
  Chunk(xdf::kSamples, content + stream.samples);
  stream.samples.clear();
  stream.waiting = 0;
}

void XdfWriter::Frame(const FrameRow& row) {
  if (!file_.IsOpen()) return;
  double seconds = row.hostSeconds;
  lastHostSeconds_ = row.hostSeconds;
  lastRowSeconds_ = row.seconds;
  for (size_t b = 0; b < boards_.size() && b < static_cast<size_t>(row.boards); ++b) {
    const BoardFrame& board = row.board[b];
    if (!board.present) continue;  // the stream's time stamps show the gap
    Stream& stream = boards_[b];
    Stamp(stream, seconds);
    const float values[xdf::kChannelsPerBoard] = {
        static_cast<float>(board.kg.channel[0]), static_cast<float>(board.kg.channel[1]),
        static_cast<float>(board.kg.channel[2]), static_cast<float>(board.kg.channel[3]),
        static_cast<float>(board.kg.Total()),    static_cast<float>(board.kg.CopXmm()),
        static_cast<float>(board.kg.CopYmm())};
    for (float value : values) Append<float>(stream.samples, value);
    if (stream.waiting >= kSamplesPerChunk) FlushSamples(stream);
  }
  if (++rows_ % kRowsBetweenBoundaries == 0)
    Chunk(xdf::kBoundary, std::string(reinterpret_cast<const char*>(xdf::kBoundaryMark), sizeof xdf::kBoundaryMark));
}

void XdfWriter::Message(double seconds, const std::string& text) {
  if (!file_.IsOpen()) return;
  // On the clock of the frames: the message's time after the latest frame's.
  Stamp(markers_, lastHostSeconds_ - lastRowSeconds_ + seconds);
  AppendCount(markers_.samples, text.size());
  markers_.samples += text;
  FlushSamples(markers_);
}

bool XdfWriter::Finish() {
  if (!file_.IsOpen()) return true;
  double end = lastHostSeconds_ + periodSeconds_;
  std::vector<Stream*> streams;
  for (Stream& stream : boards_) streams.push_back(&stream);
  streams.push_back(&markers_);
  for (Stream* stream : streams) {
    FlushSamples(*stream);
    // Every stream keeps the host's clock: its offset to the recording's clock is nought.
    std::string offsets;
    for (double at : {startSeconds_, end}) {
      std::string content;
      Append<uint32_t>(content, stream->id);
      Append<double>(content, at);
      Append<double>(content, 0.0);
      Chunk(xdf::kClockOffset, content);
      offsets += "<offset>" + Element("time", Plain(at)) + Element("value", "0") + "</offset>";
    }
    std::string times = stream->count > 0 ? Element("first_timestamp", Plain(stream->first)) +
                                                Element("last_timestamp", Plain(stream->last))
                                          : std::string();
    Chunk(xdf::kStreamFooter,
          WithId(stream->id, "<?xml version=\"1.0\"?><info>" + times +
                                 Element("sample_count", std::to_string(stream->count)) +
                                 Element("clock_offsets", offsets) + "</info>"));
  }
  return Reported(file_.Close(), "XDF file", path_);
}

}  // namespace kymhost
