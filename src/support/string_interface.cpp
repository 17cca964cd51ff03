// The representation seen as an object by another module.
#include "support/orx_string.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

const IID IID_IOrxString = {0x2D3B7EC5, 0xBF24, 0x11CF, {0x97, 0xE6, 0x00, 0xC0, 0xDF, 0x49, 0x26, 0x97}};
const IID IID_IAutoOrxString = {0x3904AA0E, 0x3E8D, 0x11D1, {0x99, 0x7F, 0x00, 0xC0, 0xDF, 0x49, 0x26, 0x97}};

namespace {

// Byte-wise, so that sanitizers see every access (the wide variants are not checked).
void MoveUnits(wchar_t* to, const wchar_t* from, std::size_t count) {
  if (count) std::memmove(to, from, count * sizeof(wchar_t));
}

VARIANT_BOOL Bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// A foreign string compared unit by unit; a null one is the empty text.
bool EqualsForeign(const WCHAR* own, UINT ownLength, BSTR foreign) {
  if (!foreign) return ownLength == 0;
  if (ownLength == 0) return false;
  UINT foreignLength = SysStringLen(foreign);
  UINT common = std::min(ownLength, foreignLength);
  for (UINT i = 0; i < common; ++i)
    if (own[i] != foreign[i]) return false;
  return ownLength == foreignLength;
}

}  // namespace

HRESULT STDMETHODCALLTYPE OrxString::StringRep::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IOrxString) || IsEqualGUID(iid, IID_IAutoOrxString)) {
    *out = static_cast<IOrxString*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE OrxString::StringRep::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE OrxString::StringRep::Release() {
  LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::SetFromBSTR(BSTR text) {
  if (Count() >= 2) return E_FAIL;
  if (!text) {
    Text()[0] = 0;
    length_ = 1;
  } else {
    UINT length = SysStringLen(text);
    if (length >= capacity_) return E_FAIL;
    MoveUnits(Text(), text, length);
    Text()[length] = 0;
    length_ = length + 1;
  }
  narrowKind_ = kNoNarrow;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::GetBSTR(BSTR* out) {
  if (!out) return E_FAIL;
  if (*out) {
    SysFreeString(*out);
    *out = nullptr;
  }
  if (length_ > 1) *out = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(Text()), (length_ - 1) * sizeof(WCHAR));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::IsEmpty(VARIANT_BOOL* out) {
  if (!out) return E_POINTER;
  *out = Bool(length_ < 2);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::GetLength(LONG* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(length_ - 1);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::IsEqual(IOrxString* other, VARIANT_BOOL* out) {
  if (!out) return E_POINTER;
  if (other == this) {
    *out = VARIANT_TRUE;
  } else if (!other) {
    *out = Bool(length_ < 2);
  } else if (other->GetTypeTag() == kTypeTag) {
    *out = Bool(std::wcscmp(Text(), other->Chars()) == 0);
  } else {
    BSTR foreign = nullptr;
    HRESULT result = other->GetBSTR(&foreign);
    if (FAILED(result)) return result;
    *out = Bool(EqualsForeign(Text(), length_ - 1, foreign));
    SysFreeString(foreign);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::IsShared(VARIANT_BOOL* out) {
  if (!out) return E_POINTER;
  *out = Bool(Count() > 1);
  return S_OK;
}

LONG STDMETHODCALLTYPE OrxString::StringRep::GetTypeTag() { return kTypeTag; }

HRESULT STDMETHODCALLTYPE OrxString::StringRep::CopyChars(LONG sizeInBytes, WCHAR* destination) {
  if (sizeInBytes < 0 || static_cast<uint64_t>(sizeInBytes) < uint64_t{length_} * sizeof(WCHAR)) return E_FAIL;
  if (!destination) return E_POINTER;
  MoveUnits(destination, Text(), length_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::GetLengthAndCharSize(LONG* length, LONG* charSize) {
  if (!length || !charSize) return E_POINTER;
  *length = static_cast<LONG>(length_ - 1);
  *charSize = static_cast<LONG>(sizeof(WCHAR));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::GetCapacity(LONG* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(capacity_ - 1);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::CreateEmpty(LONG capacity, IOrxString** out) {
  if (!out) return E_POINTER;
  int64_t room = std::max<int64_t>(int64_t{capacity} + 1, 8);
  *out = Create(static_cast<uint32_t>(room));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OrxString::StringRep::GetVariant(VARIANT* out) {
  if (!out) return E_POINTER;
  out->vt = VT_BSTR;
  out->bstrVal = length_ > 1 ? SysAllocStringLen(Text(), length_ - 1) : nullptr;
  return S_OK;
}

LONG STDMETHODCALLTYPE OrxString::StringRep::Length() { return static_cast<LONG>(length_ - 1); }

void STDMETHODCALLTYPE OrxString::StringRep::Destroy() { delete this; }

LONG STDMETHODCALLTYPE OrxString::StringRep::Reserved() { return 0; }

WCHAR* STDMETHODCALLTYPE OrxString::StringRep::Chars() { return Text(); }
