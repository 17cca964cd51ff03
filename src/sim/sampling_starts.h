// The moments a host started sampling on a board, as the board sees them: a reporting-mode request
// for continuous reports after the one that ends the host's open. A replayed recording that waits
// for the host's run starts its trial from them.
#pragma once

#include <atomic>
#include <cstdint>

namespace sim {

class SamplingStarts {
 public:
  static constexpr uint64_t kNone = UINT64_MAX;

  void Mark(uint64_t micros) { latest_.store(micros, std::memory_order_release); }
  void Clear() { latest_.store(kNone, std::memory_order_release); }
  // The host clock's time of the latest start, or kNone before the first.
  uint64_t Latest() const { return latest_.load(std::memory_order_acquire); }

 private:
  std::atomic<uint64_t> latest_{kNone};
};

}  // namespace sim
