// OrxString: the plug-in's text type. A handle of one pointer to a reference-counted,
// copy-on-write UTF-16 representation that is also a small COM-style object (IOrxString), so a
// string can be handed to another module as an object. The handle points at the characters,
// so it can be passed wherever a NUL-terminated wide string is expected.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orx {
class StringStreamBuf;
}

// The string interface as another module sees it: twenty operations in one table.
// The SDK's IUnknown has a public non-virtual destructor; nothing is ever deleted through it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IOrxString : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetFromBSTR(BSTR text) = 0;                              // 3
  virtual HRESULT STDMETHODCALLTYPE GetBSTR(BSTR* out) = 0;                                  // 4
  virtual HRESULT STDMETHODCALLTYPE IsEmpty(VARIANT_BOOL* out) = 0;                          // 5
  virtual HRESULT STDMETHODCALLTYPE GetLength(LONG* out) = 0;                                // 6
  virtual HRESULT STDMETHODCALLTYPE IsEqual(IOrxString* other, VARIANT_BOOL* out) = 0;       // 7
  virtual HRESULT STDMETHODCALLTYPE IsShared(VARIANT_BOOL* out) = 0;                         // 8
  virtual LONG STDMETHODCALLTYPE GetTypeTag() = 0;                                           // 9
  virtual HRESULT STDMETHODCALLTYPE CopyChars(LONG sizeInBytes, WCHAR* destination) = 0;     // 10
  virtual HRESULT STDMETHODCALLTYPE GetLengthAndCharSize(LONG* length, LONG* charSize) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE GetCapacity(LONG* out) = 0;                              // 12
  virtual HRESULT STDMETHODCALLTYPE CreateEmpty(LONG capacity, IOrxString** out) = 0;        // 13
  virtual HRESULT STDMETHODCALLTYPE GetVariant(VARIANT* out) = 0;                            // 14
  virtual LONG STDMETHODCALLTYPE Length() = 0;                                               // 15
  virtual void STDMETHODCALLTYPE Destroy() = 0;                                              // 16
  virtual LONG STDMETHODCALLTYPE Reserved() = 0;                                             // 17
  virtual WCHAR* STDMETHODCALLTYPE Chars() = 0;                                              // 18
  virtual ~IOrxString() = default;                                                           // 19

 protected:
  IOrxString() = default;
  IOrxString(const IOrxString&) = default;
  IOrxString& operator=(const IOrxString&) = default;
};
#pragma GCC diagnostic pop

class OrxString {
 public:
  class StringRepBase;
  class StringRep;

  // Cache kinds of the narrow view.
  enum NarrowKind : uint32_t { kNoNarrow = 0, kNarrowAnsi = 1, kNarrowUtf8 = 2 };

  OrxString();
  OrxString(const wchar_t* text);  // NOLINT(google-explicit-constructor): used like a C string
  explicit OrxString(const char* text);  // widened in the system ANSI code page
  OrxString(const wchar_t* text, int count);  // throws xmsg for a negative count
  OrxString(const OrxString& other);
  OrxString& operator=(const OrxString& other);
  OrxString& operator=(const wchar_t* text);
  ~OrxString();

  // Length of the text, the terminator not counted.
  uint32_t Length() const;
  uint32_t Capacity() const;  // room in characters, the terminator included
  bool IsEmpty() const { return Length() == 0; }
  const wchar_t* Chars() const { return chars_; }
  operator const wchar_t*() const { return chars_; }  // NOLINT(google-explicit-constructor)
  bool operator==(const OrxString& other) const;
  bool operator!=(const OrxString& other) const { return !(*this == other); }

  OrxString& Append(const OrxString& other);
  OrxString& Append(const wchar_t* text);
  OrxString& operator+=(const OrxString& other) { return Append(other); }
  OrxString& operator+=(const wchar_t* text) { return Append(text); }
  void Erase(uint32_t from, uint32_t to);
  void Replace(uint32_t at, uint32_t count, const OrxString& other);
  OrxString Mid(uint32_t start, uint32_t count) const;
  OrxString Trim() const;

  void ReserveExactly(uint32_t capacity);
  void ResetWithCapacity(uint32_t capacity);
  wchar_t* GetBuffer(uint32_t room);
  void ReleaseBuffer();

  // Narrow views, cached in the representation until the text changes.
  const char* Ansi() const;
  const char* Utf8() const;

  // The representation as an object for another module (a new reference).
  IOrxString* Interface() const;
  long ReferenceCount() const;  // for tests

 private:
  friend class Orx::StringStreamBuf;
  StringRep* Rep() const;
  void MakeUnique();
  // Holds a fresh representation with as much of this text as its room takes.
  void MoveTextTo(StringRep* fresh);
  // Drops the current representation and holds rep, whose reference the caller already counted.
  void Share(StringRep* rep);
  void AppendChars(const wchar_t* text, uint32_t count);
  // A new representation holding count characters of text, which contain no zero.
  static wchar_t* NewText(const wchar_t* text, uint32_t count);

  wchar_t* chars_;
};

// Identifiers of the string interface, besides IUnknown's, that QueryInterface accepts.
extern const IID IID_IOrxString;
extern const IID IID_IAutoOrxString;

// Holds the narrow cache and the counts; the operations of the table stay abstract.
class OrxString::StringRepBase : public IOrxString {
 public:
  ~StringRepBase() override;

 protected:
  explicit StringRepBase(uint32_t capacity) : capacity_(capacity) {}
  StringRepBase(const StringRepBase&) = delete;
  StringRepBase& operator=(const StringRepBase&) = delete;

  LONG Count() const;
  void FreeNarrow();

  char* narrow_ = nullptr;
  uint32_t narrowKind_ = kNoNarrow;
  LONG volatile references_ = 1;
  uint32_t capacity_;  // characters, the terminator included
  uint32_t length_ = 1;  // characters in use, the terminator included

  friend class OrxString;
};

// One heap block: this object, then capacity_ characters.
class OrxString::StringRep final : public OrxString::StringRepBase {
 public:
  // A new representation with an empty text and a count of 1.
  static StringRep* Create(uint32_t capacity);
  static StringRep* FromChars(const wchar_t* chars) {
    return reinterpret_cast<StringRep*>(reinterpret_cast<char*>(const_cast<wchar_t*>(chars)) - sizeof(StringRep));
  }
  wchar_t* Text() { return reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(this) + sizeof(StringRep)); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SetFromBSTR(BSTR text) override;
  HRESULT STDMETHODCALLTYPE GetBSTR(BSTR* out) override;
  HRESULT STDMETHODCALLTYPE IsEmpty(VARIANT_BOOL* out) override;
  HRESULT STDMETHODCALLTYPE GetLength(LONG* out) override;
  HRESULT STDMETHODCALLTYPE IsEqual(IOrxString* other, VARIANT_BOOL* out) override;
  HRESULT STDMETHODCALLTYPE IsShared(VARIANT_BOOL* out) override;
  LONG STDMETHODCALLTYPE GetTypeTag() override;
  HRESULT STDMETHODCALLTYPE CopyChars(LONG sizeInBytes, WCHAR* destination) override;
  HRESULT STDMETHODCALLTYPE GetLengthAndCharSize(LONG* length, LONG* charSize) override;
  HRESULT STDMETHODCALLTYPE GetCapacity(LONG* out) override;
  HRESULT STDMETHODCALLTYPE CreateEmpty(LONG capacity, IOrxString** out) override;
  HRESULT STDMETHODCALLTYPE GetVariant(VARIANT* out) override;
  LONG STDMETHODCALLTYPE Length() override;
  void STDMETHODCALLTYPE Destroy() override;
  LONG STDMETHODCALLTYPE Reserved() override;
  WCHAR* STDMETHODCALLTYPE Chars() override;

  // The text as the current narrow view of the given kind, converted in codePage when stale.
  const char* Narrow(NarrowKind kind, unsigned codePage);

  static constexpr LONG kTypeTag = 9;

  // Header and characters are allocated and freed as one block.
  struct Room {
    uint32_t capacity;
  };
  static void* operator new(std::size_t size, Room room);
  static void operator delete(void* block, Room room);
  static void operator delete(void* block);

 private:
  explicit StringRep(uint32_t capacity) : StringRepBase(capacity) {}
  ~StringRep() override = default;
};

// Conversions between wide text and narrow text in a code page (0 means the system ANSI page).
// WideToNarrow takes the text's length without its terminator; the bytes always end in a zero.
// NarrowBufferToWide reads at most length bytes, up to the first zero; length 0 means up to it.
bool WideToNarrow(const wchar_t* text, uint32_t length, std::vector<char>& bytes, unsigned codePage);
bool WideToNarrowBuffer(const OrxString& text, char* buffer, uint32_t size, unsigned codePage);
bool NarrowToWide(const std::vector<char>& bytes, OrxString& text, unsigned codePage);
bool NarrowBufferToWide(const char* chars, OrxString& text, unsigned codePage, uint32_t length);
