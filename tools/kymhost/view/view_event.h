// What kymhost hands the live view, in the order it happens: from kymhost's main thread (which
// runs the recording loop) to the view's server thread, through a queue that never waits.
#pragma once

#include "host/run_listener.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace kymhost {

struct ViewEvent {
  enum Kind { kSaid, kStart, kFrame, kMessage, kFinish, kSummary, kEnd } kind = kSaid;
  FrameRow row;      // kFrame
  RunStart start;    // kStart
  std::string text;  // kSaid, kMessage: the line; kSummary: the JSON
  double seconds = 0;  // kMessage: into the run
};

// One producer, one consumer, a fixed number of slots. A full queue drops the event and counts
// it: the recording thread never waits for the view.
class ViewEventQueue {
 public:
  // 20 s of frames: the server thread takes them every few milliseconds.
  static constexpr size_t kSlots = 2048;

  ViewEventQueue() : slots_(kSlots) {}

  // The producer's side. False when the queue was full and the event is lost.
  bool Push(ViewEvent&& event) {
    size_t head = head_.load(std::memory_order_relaxed);
    size_t next = (head + 1) % kSlots;
    if (next == tail_.load(std::memory_order_acquire)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    slots_[head] = std::move(event);
    head_.store(next, std::memory_order_release);
    return true;
  }

  // The consumer's side. False when there is nothing to take.
  bool Pop(ViewEvent& event) {
    size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    event = std::move(slots_[tail]);
    tail_.store((tail + 1) % kSlots, std::memory_order_release);
    return true;
  }

  long Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::vector<ViewEvent> slots_;
  std::atomic<size_t> head_{0};  // the next slot the producer fills
  std::atomic<size_t> tail_{0};  // the next slot the consumer takes
  std::atomic<long> dropped_{0};
};

}  // namespace kymhost
