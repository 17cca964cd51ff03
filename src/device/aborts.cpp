// Aborts: how a run ends from the device's side, and the disconnect message.
#include "device/abort_lines.h"
#include "device/dev_orx_hid.h"

namespace Kestrel {

namespace {

template <int N>
constexpr AbortLine Line(const char (&text)[N], const wchar_t* message) {
  return AbortLine{text, N - 1, message};
}

const AbortLine kAbortLines[] = {
    Line("#abort The host timed out waiting for a response from the device.",
         L"The host timed out waiting for a response from the device."),
    Line("#abort Sampling stopped by user action.", L"Sampling stopped by user."),
    Line("#abort Weak or missing batteries.", L"Sampling stopped because of weak or missing batteries."),
    Line("#stopstart", nullptr),
};

constexpr int kMessageLimit = 255;  // the message is formatted into 256 wide characters

OrxString Hex(uint32_t code) {
  const wchar_t digits[] = L"0123456789ABCDEF";
  wchar_t text[9];
  int start = 8;
  text[start] = 0;
  do {
    text[--start] = digits[code & 0xF];
    code >>= 4;
  } while (code != 0);
  return OrxString(text + start);
}

}  // namespace

const AbortLine& AbortLineFor(int abortCode) {
  if (abortCode < kAbortDisconnected || abortCode > kAbortStopStart) return kAbortLines[kAbortStopStart - 1];
  return kAbortLines[abortCode - 1];
}

void DevOrxHID::RaiseAbort(int code) {
  eventTick.store(GetTickCount(), std::memory_order_relaxed);
  abortCode.store(code, std::memory_order_relaxed);
  abortPending.store(true, std::memory_order_release);
}

void DevOrxHID::ReportDisconnect(uint32_t code) {
  OrxString text(L"The ");
  text += name;
  text += L" has disconnected from your computer. Check the batteries, or bring it closer. (Error $";
  text += Hex(code);
  text += L")";
  if (text.Length() > kMessageLimit) text = text.Mid(0, kMessageLimit);
  SetLastErrorText(text);
  RaiseAbort(kAbortDisconnected);
}

}  // namespace Kestrel
