#include "support/orx_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

namespace {

// Releases an interface reference at the end of a test.
struct Held {
  IOrxString* object;
  ~Held() {
    if (object) object->Release();
  }
};

// A string object from another implementation: it answers only GetTypeTag and GetBSTR.
class ForeignString final : public IOrxString {
 public:
  explicit ForeignString(const wchar_t* text) : text_(text) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetFromBSTR(BSTR) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetBSTR(BSTR* out) override {
    *out = text_ ? SysAllocStringLen(text_, static_cast<UINT>(std::wcslen(text_))) : nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsEmpty(VARIANT_BOOL*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetLength(LONG*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE IsEqual(IOrxString*, VARIANT_BOOL*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE IsShared(VARIANT_BOOL*) override { return E_FAIL; }
  LONG STDMETHODCALLTYPE GetTypeTag() override { return 4; }
  HRESULT STDMETHODCALLTYPE CopyChars(LONG, WCHAR*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetLengthAndCharSize(LONG*, LONG*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetCapacity(LONG*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE CreateEmpty(LONG, IOrxString**) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE GetVariant(VARIANT*) override { return E_FAIL; }
  LONG STDMETHODCALLTYPE Length() override { return 0; }
  void STDMETHODCALLTYPE Destroy() override {}
  LONG STDMETHODCALLTYPE Reserved() override { return 0; }
  WCHAR* STDMETHODCALLTYPE Chars() override { return nullptr; }

 private:
  const wchar_t* text_;
};

TEST(StringInterfaceTest, EmptyString) {
  OrxString empty;
  Held s{empty.Interface()};
  VARIANT_BOOL flag = 0;
  LONG value = -1;
  EXPECT_EQ(s.object->IsEmpty(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(s.object->GetLength(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(s.object->GetCapacity(&value), S_OK);
  EXPECT_EQ(value, 8);
  BSTR text = SysAllocStringLen(L"stale", 5);
  EXPECT_EQ(s.object->GetBSTR(&text), S_OK);  // frees what was there
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(s.object->GetBSTR(nullptr), E_FAIL);
  EXPECT_EQ(s.object->SetFromBSTR(nullptr), E_FAIL);  // shared: never written
}

TEST(StringInterfaceTest, QueryInterfaceAndCounts) {
  OrxString text(L"abc");
  Held s{text.Interface()};
  EXPECT_EQ(text.ReferenceCount(), 2);
  for (const IID* iid : {&IID_IUnknown, &IID_IOrxString, &IID_IAutoOrxString}) {
    void* out = nullptr;
    EXPECT_EQ(s.object->QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, s.object);
    EXPECT_EQ(text.ReferenceCount(), 3);
    EXPECT_EQ(s.object->Release(), 2u);
  }
  const IID dispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  void* out = &out;
  EXPECT_EQ(s.object->QueryInterface(dispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(text.ReferenceCount(), 2);
}

TEST(StringInterfaceTest, CopyCharsNeedsRoomForTheTerminator) {
  OrxString text(L"abc");
  Held s{text.Interface()};
  WCHAR out[5] = {L'x', L'x', L'x', L'x', L'x'};
  EXPECT_EQ(s.object->CopyChars(4 * sizeof(WCHAR) - 1, out), E_FAIL);
  EXPECT_EQ(out[0], L'x');
  EXPECT_EQ(s.object->CopyChars(4 * sizeof(WCHAR), out), S_OK);
  EXPECT_EQ(std::wmemcmp(out, L"abc\0x", 5), 0);
}

TEST(StringInterfaceTest, AnUnsharedObjectTakesTextAndGivesItBack) {
  OrxString text(L"seed");
  Held seed{text.Interface()};
  IOrxString* created = nullptr;
  ASSERT_EQ(seed.object->CreateEmpty(5, &created), S_OK);
  Held s{created};
  LONG value = 0;
  s.object->GetCapacity(&value);
  EXPECT_EQ(value, 7);  // room max(5 + 1, 8), terminator not counted

  BSTR tooLong = SysAllocStringLen(L"12345678", 8);
  EXPECT_EQ(s.object->SetFromBSTR(tooLong), E_FAIL);
  SysFreeString(tooLong);
  BSTR hello = SysAllocStringLen(L"hello", 5);
  EXPECT_EQ(s.object->SetFromBSTR(hello), S_OK);
  SysFreeString(hello);
  EXPECT_EQ(s.object->Length(), 5);
  EXPECT_EQ(std::wcscmp(s.object->Chars(), L"hello"), 0);

  BSTR back = nullptr;
  EXPECT_EQ(s.object->GetBSTR(&back), S_OK);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(SysStringLen(back), 5u);
  EXPECT_EQ(std::wcscmp(back, L"hello"), 0);
  EXPECT_EQ(reinterpret_cast<const uint32_t*>(back)[-1], 5 * sizeof(WCHAR));  // the byte-count prefix
  SysFreeString(back);

  VARIANT variant;
  EXPECT_EQ(s.object->GetVariant(&variant), S_OK);
  EXPECT_EQ(variant.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(variant.bstrVal), 5u);
  SysFreeString(variant.bstrVal);
}

TEST(StringInterfaceTest, IsEqualAcrossImplementations) {
  OrxString abc(L"abc");
  OrxString same(L"abc");
  OrxString empty;
  Held a{abc.Interface()};
  Held b{same.Interface()};
  Held e{empty.Interface()};
  auto equal = [](IOrxString* x, IOrxString* y) {
    VARIANT_BOOL result = 1;
    EXPECT_EQ(x->IsEqual(y, &result), S_OK);
    return result == VARIANT_TRUE;
  };
  EXPECT_TRUE(equal(a.object, a.object));
  EXPECT_TRUE(equal(a.object, b.object));
  EXPECT_FALSE(equal(a.object, e.object));

  ForeignString foreignAbc(L"abc");
  ForeignString foreignAb(L"ab");
  ForeignString foreignAbcd(L"abcd");
  ForeignString foreignNull(nullptr);
  EXPECT_TRUE(equal(a.object, &foreignAbc));
  EXPECT_FALSE(equal(a.object, &foreignAb));
  EXPECT_FALSE(equal(a.object, &foreignAbcd));
  EXPECT_FALSE(equal(a.object, &foreignNull));
  EXPECT_TRUE(equal(e.object, &foreignNull));
  EXPECT_FALSE(equal(e.object, &foreignAbc));
}

}  // namespace
