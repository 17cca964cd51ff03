#include "support/orx_string.h"

#include "support/exceptions.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <limits>
#include <new>

namespace {

constexpr uint32_t kMinimumCapacity = 8;
constexpr uint32_t kEmptyCapacity = 9;

using StringRep = OrxString::StringRep;

// The one empty representation every empty handle shares. Its own reference keeps the count
// above 1 so that no handle ever writes to it; the reference is given back at unload.
class SharedEmpty {
 public:
  static StringRep* Get() {
    static SharedEmpty instance;
    return instance.rep_;
  }
  ~SharedEmpty() { rep_->Release(); }
  SharedEmpty(const SharedEmpty&) = delete;
  SharedEmpty& operator=(const SharedEmpty&) = delete;

 private:
  SharedEmpty() : rep_(StringRep::Create(kEmptyCapacity)) { std::wmemset(rep_->Text(), 0, kEmptyCapacity); }
  StringRep* rep_;
};

wchar_t* SharedEmptyChars() {
  StringRep* rep = SharedEmpty::Get();
  rep->AddRef();
  return rep->Text();
}

// Byte-wise, so that sanitizers see every access (the wide variants are not checked).
void MoveUnits(wchar_t* to, const wchar_t* from, std::size_t count) {
  if (count) std::memmove(to, from, count * sizeof(wchar_t));
}

// Counts beyond 32 bits cannot be represented; treat them as the allocation failure they would be.
uint32_t CheckedCount(uint64_t count) {
  if (count > std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  return static_cast<uint32_t>(count);
}

}  // namespace

// --- the representation -----------------------------------------------------------------------

OrxString::StringRepBase::~StringRepBase() { FreeNarrow(); }

LONG OrxString::StringRepBase::Count() const { return __atomic_load_n(&references_, __ATOMIC_ACQUIRE); }

void OrxString::StringRepBase::FreeNarrow() {
  delete[] narrow_;
  narrow_ = nullptr;
}

void* OrxString::StringRep::operator new(std::size_t size, Room room) {
  if (room.capacity > (std::numeric_limits<std::size_t>::max() - size) / sizeof(wchar_t)) throw std::bad_alloc();
  return ::operator new(size + std::size_t{room.capacity} * sizeof(wchar_t));
}

void OrxString::StringRep::operator delete(void* block, Room) { ::operator delete(block); }
void OrxString::StringRep::operator delete(void* block) { ::operator delete(block); }

OrxString::StringRep* OrxString::StringRep::Create(uint32_t capacity) {
  capacity = std::max(capacity, kMinimumCapacity);
  StringRep* rep = new (Room{capacity}) StringRep(capacity);
  rep->Text()[0] = 0;
  return rep;
}

const char* OrxString::StringRep::Narrow(NarrowKind kind, unsigned codePage) {
  if (narrowKind_ == kind) return narrow_ ? narrow_ : "";
  FreeNarrow();
  narrowKind_ = kNoNarrow;
  int size = WideCharToMultiByte(codePage, 0, Text(), static_cast<int>(length_), nullptr, 0, nullptr, nullptr);
  if (size > 0) {
    narrow_ = new char[static_cast<std::size_t>(size)]();
    WideCharToMultiByte(codePage, 0, Text(), static_cast<int>(length_), narrow_, size, nullptr, nullptr);
    narrow_[size - 1] = 0;
  }
  narrowKind_ = kind;
  return narrow_ ? narrow_ : "";
}

// --- handles ----------------------------------------------------------------------------------

wchar_t* OrxString::NewText(const wchar_t* text, uint32_t count) {
  StringRep* rep = StringRep::Create(std::max(CheckedCount(uint64_t{count} + 1), kMinimumCapacity));
  wchar_t* chars = rep->Text();
  MoveUnits(chars, text, count);
  chars[count] = 0;
  rep->length_ = count + 1;
  return chars;
}

OrxString::OrxString() : chars_(SharedEmptyChars()) {}

OrxString::OrxString(const wchar_t* text)
    : chars_(text && *text ? NewText(text, CheckedCount(std::wcslen(text))) : SharedEmptyChars()) {}

OrxString::OrxString(const char* text) : chars_(nullptr) {
  int count = text ? MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0) : 0;
  if (count <= 1) {
    chars_ = SharedEmptyChars();
    return;
  }
  StringRep* rep = StringRep::Create(static_cast<uint32_t>(count));
  int converted = MultiByteToWideChar(CP_ACP, 0, text, -1, rep->Text(), count);
  if (converted <= 1) {
    rep->Destroy();
    chars_ = SharedEmptyChars();
    return;
  }
  rep->Text()[converted - 1] = 0;
  rep->length_ = static_cast<uint32_t>(converted);
  chars_ = rep->Text();
}

OrxString::OrxString(const wchar_t* text, int count) : chars_(nullptr) {
  if (count < 0) throw xmsg("Orx::String size too big");
  uint32_t n = 0;
  if (text)
    while (n < static_cast<uint32_t>(count) && text[n]) ++n;
  if (n == 0) {
    chars_ = SharedEmptyChars();
    return;
  }
  chars_ = NewText(text, n);
}

OrxString::OrxString(const OrxString& other) : chars_(other.chars_) { Rep()->AddRef(); }

OrxString& OrxString::operator=(const OrxString& other) {
  StringRep* rep = other.Rep();
  rep->AddRef();  // first, so that assigning a handle to itself never frees the text
  Share(rep);
  return *this;
}

OrxString& OrxString::operator=(const wchar_t* text) {
  OrxString built(text);  // built before the old text goes: text may point into it
  return *this = built;
}

OrxString::~OrxString() { Share(nullptr); }

OrxString::StringRep* OrxString::Rep() const { return StringRep::FromChars(chars_); }

void OrxString::Share(StringRep* rep) {
  StringRep* old = chars_ ? Rep() : nullptr;
  chars_ = rep ? rep->Text() : nullptr;
  if (old && InterlockedDecrement(&old->references_) == 0) old->Destroy();
}

uint32_t OrxString::Length() const { return Rep()->length_ - 1; }
uint32_t OrxString::Capacity() const { return Rep()->capacity_; }
long OrxString::ReferenceCount() const { return Rep()->Count(); }

IOrxString* OrxString::Interface() const {
  StringRep* rep = Rep();
  rep->AddRef();
  return rep;
}

bool OrxString::operator==(const OrxString& other) const {
  if (chars_ == other.chars_) return true;
  uint32_t length = Rep()->length_;
  return length == other.Rep()->length_ && std::wmemcmp(chars_, other.chars_, length) == 0;
}

void OrxString::MakeUnique() {
  StringRep* rep = Rep();
  if (rep->Count() == 1) {
    rep->narrowKind_ = kNoNarrow;
    return;
  }
  MoveTextTo(StringRep::Create(rep->capacity_));
}

void OrxString::ReserveExactly(uint32_t capacity) {
  StringRep* rep = Rep();
  if (rep->Count() == 1 && rep->capacity_ == capacity) return;
  MoveTextTo(StringRep::Create(capacity));
}

void OrxString::MoveTextTo(StringRep* fresh) {
  // Counted without the terminator, whose index then cannot wrap: as a 32-bit "length - 1" it
  // would land 4 GiB past the block on 64-bit Windows.
  uint32_t count = std::min(Length(), fresh->capacity_ - 1);
  MoveUnits(fresh->Text(), chars_, count);
  fresh->Text()[count] = 0;
  fresh->length_ = count + 1;
  Share(fresh);
}

void OrxString::ResetWithCapacity(uint32_t capacity) { Share(StringRep::Create(capacity)); }

void OrxString::AppendChars(const wchar_t* text, uint32_t count) {
  MakeUnique();
  uint32_t newLength = CheckedCount(uint64_t{Rep()->length_} + count);
  if (newLength > Rep()->capacity_) ReserveExactly(CheckedCount(static_cast<uint64_t>(1.5 * newLength)));
  MoveUnits(chars_ + Rep()->length_ - 1, text, count);
  chars_[newLength - 1] = 0;
  Rep()->length_ = newLength;
}

OrxString& OrxString::Append(const OrxString& other) {
  OrxString source(other);  // keeps the characters alive when other is this very handle
  AppendChars(source.chars_, source.Length());
  return *this;
}

OrxString& OrxString::Append(const wchar_t* text) {
  uint32_t count = text ? CheckedCount(std::wcslen(text)) : 0;
  std::less<const wchar_t*> before;
  if (text && !before(text, chars_) && before(text, chars_ + Rep()->capacity_)) {
    // Growing would free the characters being appended.
    OrxString source(text, static_cast<int>(count));
    AppendChars(source.chars_, count);
  } else {
    AppendChars(text, count);
  }
  return *this;
}

void OrxString::Erase(uint32_t from, uint32_t to) {
  if (from >= to) return;
  MakeUnique();
  StringRep* rep = Rep();
  uint32_t length = rep->length_ - 1;
  if (from >= length) return;
  if (to < length) {
    MoveUnits(chars_ + from, chars_ + to, length - to + 1);
    rep->length_ -= to - from;
  } else {
    chars_[from] = 0;
    rep->length_ = from + 1;
  }
}

void OrxString::Replace(uint32_t at, uint32_t count, const OrxString& other) {
  OrxString source(other);  // other may be this handle, which the erase changes
  uint32_t length = Length();
  if (at >= length) {
    Append(source);
    return;
  }
  Erase(at, at + std::min(count, length - at));
  uint32_t inserted = source.Length();
  if (inserted == 0) return;
  MakeUnique();
  uint32_t newLength = CheckedCount(uint64_t{Rep()->length_} + inserted);
  if (newLength > Rep()->capacity_) ReserveExactly(newLength);
  StringRep* rep = Rep();
  MoveUnits(chars_ + at + inserted, chars_ + at, rep->length_ - at);
  MoveUnits(chars_ + at, source.chars_, inserted);
  rep->length_ = newLength;
}

OrxString OrxString::Mid(uint32_t start, uint32_t count) const {
  uint32_t length = Length();
  if (start >= length) return OrxString();
  return OrxString(chars_ + start, static_cast<int>(std::min(count, length - start)));
}

OrxString OrxString::Trim() const {
  uint32_t begin = 0;
  uint32_t end = Length();
  while (begin < end && std::iswspace(static_cast<wint_t>(chars_[begin]))) ++begin;
  while (end > begin && std::iswspace(static_cast<wint_t>(chars_[end - 1]))) --end;
  return OrxString(chars_ + begin, static_cast<int>(end - begin));
}

wchar_t* OrxString::GetBuffer(uint32_t room) {
  uint32_t needed = CheckedCount(uint64_t{room} + 1);
  StringRep* rep = Rep();
  if (rep->Count() == 1 && rep->capacity_ >= needed) {
    rep->FreeNarrow();
    rep->narrowKind_ = kNoNarrow;
    rep->length_ = 1;
  } else {
    Share(StringRep::Create(needed));
  }
  chars_[0] = 0;
  chars_[room] = 0;
  return chars_;
}

void OrxString::ReleaseBuffer() {
  StringRep* rep = Rep();
  uint32_t capacity = rep->capacity_;
  uint32_t length = 0;
  while (length < capacity && chars_[length]) ++length;  // bounded: the writer may have filled it all
  if (length < capacity) {
    rep->length_ = length + 1;
  } else {
    rep->length_ = capacity;
    chars_[capacity - 1] = 0;
  }
  rep->narrowKind_ = kNoNarrow;
}

// An empty text is empty in every code page; answering it without the cache keeps the shared
// empty representation, which unrelated threads hold, free of writes.
const char* OrxString::Ansi() const { return IsEmpty() ? "" : Rep()->Narrow(kNarrowAnsi, CP_THREAD_ACP); }
const char* OrxString::Utf8() const { return IsEmpty() ? "" : Rep()->Narrow(kNarrowUtf8, CP_UTF8); }

// --- conversions --------------------------------------------------------------------------------

bool WideToNarrow(const wchar_t* text, uint32_t length, std::vector<char>& bytes, unsigned codePage) {
  int count = static_cast<int>(length);
  int n = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
  if (n < 0) n = 0;
  bytes.assign(static_cast<std::size_t>(n) + 1, 0);
  if (n == 0) return false;
  return WideCharToMultiByte(codePage, 0, text, count, bytes.data(), n, nullptr, nullptr) != 0;
}

bool WideToNarrowBuffer(const OrxString& text, char* buffer, uint32_t size, unsigned codePage) {
  std::vector<char> narrow;
  if (!WideToNarrow(text.Chars(), text.Length(), narrow, codePage)) return false;
  if (!buffer) return false;
  if (size == 0) return true;
  std::size_t length = narrow.size() - 1;
  std::size_t copied = std::min<std::size_t>(length, size - 1);
  std::memcpy(buffer, narrow.data(), copied);
  buffer[copied] = 0;
  return true;
}

bool NarrowToWide(const std::vector<char>& bytes, OrxString& text, unsigned codePage) {
  if (bytes.empty()) return false;
  int byteCount = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, nullptr, 0);
  if (n <= 0) return false;
  std::vector<wchar_t> wide(static_cast<std::size_t>(n) + 1, 0);
  if (MultiByteToWideChar(codePage, 0, bytes.data(), byteCount, wide.data(), n) == 0) return false;
  text = wide.data();
  return true;
}

bool NarrowBufferToWide(const char* chars, OrxString& text, unsigned codePage, uint32_t length) {
  if (!chars) return false;
  if (length == 0) length = CheckedCount(std::strlen(chars));
  std::vector<char> bytes(std::size_t{length} + 1, 0);
  for (uint32_t i = 0; i < length && chars[i]; ++i) bytes[i] = chars[i];
  return NarrowToWide(bytes, text, codePage);
}
