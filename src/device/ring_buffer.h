// A fixed ring with one producer and one consumer and no lock. One slot always stays free, so
// a ring of capacity N holds at most N - 1 elements; a full ring drops what is added.
//
// writeIndex is stored only by the producer and readIndex only by the consumer. Each element is
// stored before the index that publishes it (release), and read after the index that shows it
// (acquire), so the two sides may run at the same time on different threads.
#pragma once

#include <atomic>
#include <memory>

namespace Kestrel {

template <typename T>
class RingBuffer {
 public:
  explicit RingBuffer(int capacity) : storage_(new T[static_cast<size_t>(capacity)]()), capacity_(capacity) {}

  int Capacity() const { return capacity_; }

  int Count() const {
    int held = writeIndex_.load(std::memory_order_acquire) - readIndex_.load(std::memory_order_acquire);
    return held < 0 ? held + capacity_ : held;
  }
  bool IsEmpty() const { return Count() == 0; }
  int Room() const { return capacity_ - 1 - Count(); }

  // Producer side.
  bool Add(T value) {
    int write = writeIndex_.load(std::memory_order_relaxed);
    int next = Next(write);
    if (next == readIndex_.load(std::memory_order_acquire)) return false;
    storage_[write] = value;
    writeIndex_.store(next, std::memory_order_release);
    return true;
  }

  // Producer side: all of values or none, published at once, so a consumer that takes whole
  // frames never sees the channels of a frame shifted.
  bool AddAll(const T* values, int count) {
    int write = writeIndex_.load(std::memory_order_relaxed);
    int read = readIndex_.load(std::memory_order_acquire);
    int held = write - read;
    if (held < 0) held += capacity_;
    if (count > capacity_ - 1 - held) return false;
    for (int i = 0; i < count; ++i) {
      storage_[write] = values[i];
      write = Next(write);
    }
    writeIndex_.store(write, std::memory_order_release);
    return true;
  }

  // Consumer side.
  bool Take(T& value) {
    int read = readIndex_.load(std::memory_order_relaxed);
    if (read == writeIndex_.load(std::memory_order_acquire)) return false;
    value = storage_[read];
    readIndex_.store(Next(read), std::memory_order_release);
    return true;
  }

  // Consumer side: hands up to count elements in order to sink, then frees their slots with one
  // index store. Returns how many were taken.
  template <typename Sink>
  int TakeEach(int count, Sink&& sink) {
    int read = readIndex_.load(std::memory_order_relaxed);
    int held = writeIndex_.load(std::memory_order_acquire) - read;
    if (held < 0) held += capacity_;
    if (count > held) count = held;
    for (int i = 0; i < count; ++i) {
      sink(storage_[read]);
      read = Next(read);
    }
    readIndex_.store(read, std::memory_order_release);
    return count;
  }

  // Consumer side: looks at the element offset places past the read index without taking it.
  // One reading of each index: the slot looked at is one the producer has published.
  bool Peek(int offset, T& value) const {
    int read = readIndex_.load(std::memory_order_relaxed);
    int held = writeIndex_.load(std::memory_order_acquire) - read;
    if (held < 0) held += capacity_;
    if (offset >= held) return false;
    value = storage_[(read + offset) % capacity_];
    return true;
  }

  // Consumer side: drops everything held. Only the read index moves, so a producer that is
  // adding at the same moment loses nothing it publishes afterwards and never sees torn state.
  void Discard() { readIndex_.store(writeIndex_.load(std::memory_order_acquire), std::memory_order_release); }

 private:
  int Next(int index) const { return index + 1 == capacity_ ? 0 : index + 1; }

  std::atomic<int> readIndex_{0};
  std::atomic<int> writeIndex_{0};
  std::unique_ptr<T[]> storage_;
  int capacity_;
};

// A ring made once, when its device opens, and used by host threads that may have called in
// before it existed: they see either no ring or the whole of it.
template <typename T>
class OpenedRing {
 public:
  // Once only, before any other thread can add to it.
  void Create(int capacity) {
    storage_ = std::make_unique<RingBuffer<T>>(capacity);
    ring_.store(storage_.get(), std::memory_order_release);
  }
  RingBuffer<T>* get() const { return ring_.load(std::memory_order_acquire); }
  RingBuffer<T>* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }

 private:
  std::unique_ptr<RingBuffer<T>> storage_;
  std::atomic<RingBuffer<T>*> ring_{nullptr};
};

}  // namespace Kestrel
