// The host's side of a device: command text in, reply lines and sample blocks out.
#include "device/abort_lines.h"
#include "device/dev_orx_hid.h"

#include <cstring>

namespace Kestrel {

namespace {
constexpr char kBlockMark = '@';
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Takes one complete line, if one is queued: at most room - 1 bytes of it, then a terminator; a
// line end taken is not stored. Only the consumer may call this (lineTakeLock).
bool TakeLine(RingBuffer<char>& ring, char* buffer, int room) {
  char c;
  bool complete = false;
  for (int offset = 0; !complete && ring.Peek(offset, c); ++offset) complete = IsLineEnd(c);
  if (!complete) return false;
  int stored = 0;
  while (stored < room - 1 && ring.Take(c)) {
    if (IsLineEnd(c)) break;
    buffer[stored++] = c;
  }
  buffer[stored] = '\0';
  return true;
}
}  // namespace

void DevOrxHID::QueueReply(const char* text) {
  if (!textRing || !text) return;
  for (const char* p = text; *p; ++p) textRing->Add(*p);
}

bool DevOrxHID::WriteBuffer(const char* data, int length, int) {
  if (!data || length < 0) return true;  // nothing to collect, and nothing the host must act on
  // Two threads writing at once would interleave their bytes and race on the line's length.
  std::lock_guard<std::mutex> guard(commandLock);
  for (int i = 0; i < length; ++i) {
    char b = data[i];
    commandLine[commandLength++] = b;
    if (IsLineEnd(b)) {
      commandLine[commandLength - 1] = '\0';
      if (!ParseCommandLine(commandLine)) QueueReply("^Eh?\n");
      commandLength = 0;
    } else if (commandLength == kCommandLineSize) {
      commandLength = 0;  // an overlong line is dropped without a reply
    }
  }
  return true;
}

bool DevOrxHID::RefuseAfterTimeout(int timeoutMs) const {
  WaitForClose(HostWaitMs(timeoutMs));
  return false;
}

bool DevOrxHID::DeliverDisconnectLine(const char* line, char* buffer, int room, int timeoutMs) {
  int needed = static_cast<int>(std::strlen(line)) + 1;
  if (room < needed) return RefuseAfterTimeout(timeoutMs);  // stays due for a call with room for it
  std::memcpy(buffer, line, static_cast<size_t>(needed));
  failed.store(true, std::memory_order_release);
  return true;
}

bool DevOrxHID::ReadLine(char* buffer, int size, int timeoutMs) {
  if (!buffer || size < 1 || IsClosing()) return false;
  if (disconnected.load(std::memory_order_acquire)) {
    if (failed.load(std::memory_order_acquire)) return false;
    return DeliverDisconnectLine(kLineDisconnectedReply, buffer, size, timeoutMs);
  }
  if (!textRing) return false;

  // Only a complete line is returned: look for its end before taking anything, as the one
  // consumer, but never across the wait. The data event also fires for samples, so the waits
  // together are bounded by timeoutMs, not each of them.
  const DWORD limit = HostWaitMs(timeoutMs);
  const DWORD started = GetTickCount();
  for (bool waited = false;; waited = true) {
    {
      std::lock_guard<std::mutex> guard(lineTakeLock);
      if (TakeLine(*textRing.get(), buffer, size)) return true;
    }
    if (failed.load(std::memory_order_acquire) || IsClosing()) return false;
    DWORD elapsed = GetTickCount() - started;
    if (waited && elapsed >= limit) return false;
    if (!WaitForData(static_cast<int>(elapsed < limit ? limit - elapsed : 0))) return false;
  }
}

bool DevOrxHID::DeliverAbort(char* buffer, int* size, int timeoutMs) {
  int code = abortCode.load(std::memory_order_acquire);
  const AbortLine& line = AbortLineFor(code);
  if (*size < line.length) return RefuseAfterTimeout(timeoutMs);  // the host gets it whole or not yet
  // Once only, to whichever host thread takes it first.
  if (!abortPending.exchange(false, std::memory_order_acq_rel)) return ReadBuffer(buffer, size, timeoutMs);
  std::memcpy(buffer, line.text, static_cast<size_t>(line.length));
  *size = line.length;
  if (line.message) SetLastErrorText(OrxString(line.message));
  StopSampling();
  return true;
}

bool DevOrxHID::ReadBuffer(char* buffer, int* size, int timeoutMs) {
  if (!buffer || !size || *size < 0 || IsClosing()) return false;
  link->FlushCapture(false);  // the host's thread writes the capture, so that the reader never does
  if (sampling.load(std::memory_order_acquire) && abortPending.load(std::memory_order_acquire))
    return DeliverAbort(buffer, size, timeoutMs);
  if (!sampleRing) return false;

  int held = sampleRing->Count();
  if (held == 0) {
    if (disconnected.load(std::memory_order_acquire))
      return DeliverDisconnectLine(kLineDisconnectedBlock, buffer, *size, timeoutMs);
    const DWORD limit = HostWaitMs(timeoutMs);
    const DWORD started = GetTickCount();
    if (!WaitForData(timeoutMs) || IsClosing()) return false;
    // What woke this call may be the end of the run: the abort line comes before any frame, and
    // whatever is left of the host's time-out is all it may wait on.
    if (sampling.load(std::memory_order_acquire) && abortPending.load(std::memory_order_acquire)) {
      DWORD elapsed = GetTickCount() - started;
      return DeliverAbort(buffer, size, static_cast<int>(elapsed < limit ? limit - elapsed : 0));
    }
  }

  int channels = ChannelCount();
  if (channels <= 0) return false;
  std::lock_guard<std::mutex> guard(sampleTakeLock);
  held = sampleRing->Count();
  int frameBytes = 2 * channels;
  int available = frameBytes * (held / channels);
  int room = *size > 0 ? *size - 1 : 0;
  int bytes = room > available ? available : room - room % frameBytes;
  *size = bytes + 1;
  if (bytes > 0) {
    buffer[0] = kBlockMark;
    char* out = buffer + 1;
    sampleRing->TakeEach(bytes / 2, [&out](SampleWord value) {
      *out++ = static_cast<char>(value >> 8);
      *out++ = static_cast<char>(value & 0xFF);
    });
  }
  return true;
}

int DevOrxHID::ReadBuffSize() { return sampleRing ? sampleRing->Count() : 0; }

void DevOrxHID::FlushReadBuffer() {
  {
    std::lock_guard<std::mutex> guard(lineTakeLock);
    if (textRing) textRing->Discard();
  }
  DiscardSamples();
}

}  // namespace Kestrel
