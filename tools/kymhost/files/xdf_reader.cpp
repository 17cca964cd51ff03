#include "files/xdf_reader.h"

#include "files/xdf_format.h"
#include "recording/text_fields.h"
#include "recording/text_file.h"
#include "recording/trial_columns.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <vector>

namespace kymhost {

namespace {

constexpr uint64_t kMostChunkBytes = 64u << 20;
constexpr char kMarkerPrefix[] = "Marker ";

// The bytes of one chunk, read with their bounds checked.
class Bytes {
 public:
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
  template <typename T>
  bool Read(T& value) {
    if (bytes_.size() - at_ < sizeof value) return false;
    std::memcpy(&value, bytes_.data() + at_, sizeof value);
    at_ += sizeof value;
    return true;
  }
  bool Count(uint64_t& count) {
    uint8_t width = 0;
    if (!Read(width)) return false;
    if (width == 1) {
      uint8_t v = 0;
      return Read(v) && (count = v, true);
    }
    if (width == 4) {
      uint32_t v = 0;
      return Read(v) && (count = v, true);
    }
    return width == 8 && Read(count);
  }
  bool Skip(uint64_t count) {
    if (bytes_.size() - at_ < count) return false;
    at_ += static_cast<size_t>(count);
    return true;
  }
  std::string_view Rest() const { return bytes_.substr(at_); }
  std::string_view Take(size_t count) {
    std::string_view taken = bytes_.substr(at_, count);
    at_ += taken.size();
    return taken;
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

std::string Unescaped(std::string_view text) {
  std::string out(text);
  const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities)
    for (size_t at = out.find(entity); at != std::string::npos; at = out.find(entity, at + 1)) out.replace(at, std::strlen(entity), plain);
  return out;
}

// The text of the first <name> element in xml from from on; empty when there is none.
std::string Element(std::string_view xml, const std::string& name, size_t from = 0, size_t* end = nullptr) {
  std::string open = "<" + name + ">", close = "</" + name + ">";
  size_t start = xml.find(open, from);
  if (start == std::string_view::npos) return {};
  start += open.size();
  size_t stop = xml.find(close, start);
  if (stop == std::string_view::npos) return {};
  if (end) *end = stop + close.size();
  return Unescaped(xml.substr(start, stop - start));
}

enum class Format { kFloat32, kDouble64, kInt8, kInt16, kInt32, kInt64, kString, kUnknown };

Format FormatOf(const std::string& name) {
  const std::pair<const char*, Format> formats[] = {{"float32", Format::kFloat32}, {"double64", Format::kDouble64},
                                                    {"int8", Format::kInt8},       {"int16", Format::kInt16},
                                                    {"int32", Format::kInt32},     {"int64", Format::kInt64},
                                                    {"string", Format::kString}};
  for (const auto& [text, format] : formats)
    if (name == text) return format;
  return Format::kUnknown;
}

struct Stream {
  Format format = Format::kUnknown;
  uint64_t channels = 0;
  double rateHz = 0;
  std::vector<size_t> used;     // the channels a board's frame is made of
  std::vector<double> scales;
  bool corners = false;
  bool board = false;
  double last = 0;              // the time of the sample before, for those that omit theirs
};

template <typename T>
bool ReadValue(Bytes& bytes, double& value) {
  T raw{};
  if (!bytes.Read(raw)) return false;
  value = static_cast<double>(raw);
  return true;
}

bool ReadNumber(Bytes& bytes, Format format, double& value) {
  switch (format) {
    case Format::kFloat32: return ReadValue<float>(bytes, value);
    case Format::kDouble64: return ReadValue<double>(bytes, value);
    case Format::kInt8: return ReadValue<int8_t>(bytes, value);
    case Format::kInt16: return ReadValue<int16_t>(bytes, value);
    case Format::kInt32: return ReadValue<int32_t>(bytes, value);
    case Format::kInt64: return ReadValue<int64_t>(bytes, value);
    default: return false;
  }
}

// Which of the stream's channels make a board's frame, by their labels and units.
void FindChannels(const std::string& xml, Stream& stream) {
  std::vector<std::string> names;
  std::string channels = Element(xml, "channels");
  for (size_t at = 0;;) {
    size_t end = 0;
    std::string channel = Element(channels, "channel", at, &end);
    if (end <= at) break;
    names.push_back(Element(channel, "label") + "[" + Element(channel, "unit") + "]");
    at = end;
  }
  recording::Columns columns;
  std::string why;
  if (!recording::ReadHeader(names, columns, why)) return;
  using recording::Quantity;
  const Quantity corners[] = {recording::kTopLeft, recording::kBottomLeft, recording::kTopRight, recording::kBottomRight};
  const Quantity centre[] = {recording::kLoad, recording::kCopX, recording::kCopY};
  auto all = [&](const Quantity* begin, const Quantity* finish) {
    return std::all_of(begin, finish, [&](Quantity q) { return columns.of[q].index >= 0 && static_cast<uint64_t>(columns.of[q].index) < stream.channels; });
  };
  stream.corners = all(std::begin(corners), std::end(corners));
  if (!stream.corners && !all(std::begin(centre), std::end(centre))) return;
  const Quantity* begin = stream.corners ? std::begin(corners) : std::begin(centre);
  const Quantity* finish = stream.corners ? std::end(corners) : std::end(centre);
  for (const Quantity* q = begin; q != finish; ++q) {
    stream.used.push_back(static_cast<size_t>(columns.of[*q].index));
    stream.scales.push_back(columns.of[*q].scale);
  }
  stream.board = stream.format != Format::kString && stream.format != Format::kUnknown;
}

}  // namespace

bool ReadXdfFile(const std::string& path, int board, TimedTrial& trial, std::string& error) {
  recording::File file = recording::OpenForReading(path, error);
  if (!file) return false;
  uint64_t offset = 0;
  auto fail = [&](const std::string& what) {
    error = path + ": byte " + std::to_string(offset) + ": " + what;
    return false;
  };
  char magic[4];
  if (std::fread(magic, 1, sizeof magic, file.get()) != sizeof magic || std::memcmp(magic, xdf::kMagic, sizeof magic) != 0)
    return fail("not an XDF file (it does not start with 'XDF:')");
  offset = sizeof magic;
  std::map<uint32_t, Stream> streams;
  int boardsSeen = 0;
  uint32_t chosen = 0;
  bool anyChosen = false;
  struct Marker {
    double seconds;
    int number;
  };
  std::vector<Marker> markers;
  std::string content;
  std::vector<double> sample;
  for (;;) {
    uint8_t width = 0;
    if (std::fread(&width, 1, 1, file.get()) != 1) break;
    uint64_t length = 0;
    if (width != 1 && width != 4 && width != 8) return fail("a chunk's length takes 1, 4 or 8 bytes, not " + std::to_string(width));
    unsigned char raw[8] = {};
    if (std::fread(raw, 1, width, file.get()) != width) return fail("the file ends inside a chunk's length");
    for (int b = 0; b < width; ++b) length |= static_cast<uint64_t>(raw[b]) << (8 * b);
    if (length < 2 || length > kMostChunkBytes) return fail("a chunk of " + std::to_string(length) + " bytes");
    content.resize(static_cast<size_t>(length));
    if (std::fread(&content[0], 1, content.size(), file.get()) != content.size()) return fail("the file ends inside a chunk");
    Bytes bytes(content);
    uint16_t tag = 0;
    uint32_t id = 0;
    bytes.Read(tag);
    if (tag == xdf::kStreamHeader || tag == xdf::kSamples) {
      if (!bytes.Read(id)) return fail("a chunk without its stream");
    }
    if (tag == xdf::kStreamHeader) {
      std::string xml(bytes.Rest());
      Stream stream;
      stream.format = FormatOf(Element(xml, "channel_format"));
      std::string countText = Element(xml, "channel_count"), rateText = Element(xml, "nominal_srate");
      std::string_view count = recording::TrimmedView(countText);
      std::from_chars(count.data(), count.data() + count.size(), stream.channels);
      recording::ReadDecimal(recording::TrimmedView(rateText), false, stream.rateHz);
      FindChannels(xml, stream);
      if (stream.board && ++boardsSeen == board && !anyChosen) {
        chosen = id;
        anyChosen = true;
        trial.label = Element(xml, "trial");
      }
      streams[id] = stream;
    } else if (tag == xdf::kSamples) {
      auto found = streams.find(id);
      if (found == streams.end()) return fail("samples of stream " + std::to_string(id) + " before its header");
      Stream& stream = found->second;
      bool wanted = anyChosen && id == chosen, text = stream.format == Format::kString;
      if (!wanted && !text) {
        offset += width + 1 + length;
        continue;
      }
      uint64_t samples = 0;
      if (!bytes.Count(samples)) return fail("a samples chunk without its count");
      for (uint64_t n = 0; n < samples; ++n) {
        uint8_t stampBytes = 0;
        double seconds = stream.last + (stream.rateHz > 0 ? 1 / stream.rateHz : 0);
        if (!bytes.Read(stampBytes) || (stampBytes == xdf::kTimeStampFollows && !bytes.Read(seconds)) ||
            (stampBytes != 0 && stampBytes != xdf::kTimeStampFollows))
          return fail("sample " + std::to_string(n + 1) + " of a chunk has no time stamp");
        stream.last = seconds;
        if (text) {
          for (uint64_t c = 0; c < stream.channels; ++c) {
            uint64_t size = 0;
            if (!bytes.Count(size) || size > bytes.Rest().size()) return fail("a text sample ends early");
            std::string_view value = bytes.Take(static_cast<size_t>(size));
            int number = 0;
            if (value.substr(0, sizeof kMarkerPrefix - 1) == kMarkerPrefix) {
              auto parsed = std::from_chars(value.data() + sizeof kMarkerPrefix - 1, value.data() + value.size(), number);
              if (parsed.ec == std::errc() && number > 0) markers.push_back({seconds, number});
            }
          }
          continue;
        }
        double values[kChannels] = {};
        sample.resize(static_cast<size_t>(std::min<uint64_t>(stream.channels, bytes.Rest().size())));
        for (double& value : sample)
          if (!ReadNumber(bytes, stream.format, value)) return fail("a sample ends early");
        for (size_t u = 0; u < stream.used.size(); ++u) values[u] = sample[stream.used[u]] * stream.scales[u];
        FrameKg frame{};
        if (stream.corners)
          std::copy(values, values + kChannels, frame.channel);
        else
          frame = FrameKg::Of(values[0], values[1], values[2]);
        if (!trial.seconds.empty() && seconds < trial.seconds.back())
          return fail("the time stamp " + std::to_string(seconds) + " s comes before the one of the sample before");
        trial.Add(seconds, frame, 0, 0);
      }
    }
    offset += width + 1 + length;
  }
  trial.lines.clear();
  if (!anyChosen)
    return fail(board > 1 ? "there is no stream of board " + std::to_string(board)
                          : "no stream of a board's corners, or of a total and a centre of pressure");
  if (trial.seconds.empty()) return fail("the board's stream has no samples");
  std::sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) { return a.seconds < b.seconds; });
  for (const Marker& m : markers) {
    size_t index = static_cast<size_t>(std::lower_bound(trial.seconds.begin(), trial.seconds.end(), m.seconds) - trial.seconds.begin());
    trial.markers.push_back({m.number, std::min(index, trial.seconds.size() - 1)});
  }
  return true;
}

}  // namespace kymhost
