#include "discovery/device_search.h"

#include <atomic>

namespace DeviceSearch {

namespace {
std::atomic<bool> radioMissing{false};
std::atomic<bool> boardPaired{false};
}  // namespace

std::unique_ptr<Kestrel::DevOrxHID> FindNext() { return nullptr; }

void DestroyEnumerator() {}

bool RadioMissing() { return radioMissing.load(); }
bool BoardPaired() { return boardPaired.load(); }

}  // namespace DeviceSearch
