// <windows.h> must come first; its GetObject macro would rename the
// metabase interface's method.
// clang-format off
#include <windows.h>
#include <activeds.h>
#include <oleauto.h>
#undef GetObject
// clang-format on

#include "manager/iis/metabase_adsi_win32.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/system_error.h"

namespace zelk::manager {
namespace {

[[noreturn]] void Fail(const char* call, HRESULT hr) {
  throw MetabaseError(platform::SystemErrorText(call, static_cast<std::uint32_t>(hr), ""));
}

void Check(HRESULT hr, const char* call) {
  if (FAILED(hr)) Fail(call, hr);
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string Narrow(const wchar_t* text, UINT length) {
  if (!text || length == 0) return {};
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
  return out;
}

// Owns a BSTR: one made from a text, or one a call hands out through put().
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::string& gbk) {
    const std::wstring w = Wide(gbk);
    b_ = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    if (!b_) throw MetabaseError("SysAllocStringLen failed");
  }
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* put() { return &b_; }
  std::string Text() const { return Narrow(b_, SysStringLen(b_)); }

 private:
  BSTR b_ = nullptr;
};

// Owns a VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }

  static void SetText(VARIANT* v, const std::string& gbk) {
    const std::wstring w = Wide(gbk);
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  }

 private:
  VARIANT v_;
};

std::string VariantText(const VARIANT& in) {
  Variant copy;
  Check(VariantChangeType(copy.get(), const_cast<VARIANT*>(&in), 0, VT_BSTR), "VariantChangeType");
  return Narrow(copy.get()->bstrVal, SysStringLen(copy.get()->bstrVal));
}

// A list property or method result: an array of variants (or of strings), a
// single string, or nothing.
std::vector<std::string> VariantTextList(const VARIANT& v) {
  std::vector<std::string> out;
  if (v.vt == VT_EMPTY || v.vt == VT_NULL) return out;
  if (!(v.vt & VT_ARRAY)) {
    out.push_back(VariantText(v));
    return out;
  }
  SAFEARRAY* array = (v.vt & VT_BYREF) ? *v.pparray : v.parray;
  if (!array || SafeArrayGetDim(array) != 1) throw MetabaseError("unexpected array shape");
  LONG lower = 0, upper = -1;
  Check(SafeArrayGetLBound(array, 1, &lower), "SafeArrayGetLBound");
  Check(SafeArrayGetUBound(array, 1, &upper), "SafeArrayGetUBound");
  const VARTYPE element = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
  for (LONG i = lower; i <= upper; ++i) {
    if (element == VT_VARIANT) {
      Variant item;
      Check(SafeArrayGetElement(array, &i, item.get()), "SafeArrayGetElement");
      out.push_back(VariantText(*item));
    } else if (element == VT_BSTR) {
      Bstr s;
      Check(SafeArrayGetElement(array, &i, s.put()), "SafeArrayGetElement");
      out.push_back(s.Text());
    } else {
      throw MetabaseError("unexpected array element type");
    }
  }
  return out;
}

// Owns one reference to a COM object. Not copyable; movable, so that a
// reference is owned from the call that hands it out to the object that
// keeps it, and a failure in between releases it.
template <typename T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  Com(Com&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  Com& operator=(Com&& other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Com() {
    if (p_) p_->Release();
  }
  T** put() { return &p_; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }

 private:
  T* p_ = nullptr;
};

// Calls a method of a dispatch interface by name. args are given in their
// natural order (DISPPARAMS wants them reversed).
void InvokeMethod(IDispatch* target, const wchar_t* name, std::vector<VARIANT>& args,
                  VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  Check(target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
        "IDispatch::GetIDsOfNames");
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  EXCEPINFO error{};
  const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    result, &error, nullptr);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrHelpFile);
  Check(hr, "IDispatch::Invoke");
}

// Frees the variants of an argument list. Each variant is in the list before
// anything is put into it, so nothing is lost when a step throws.
struct ArgList {
  ArgList() = default;
  ArgList(const ArgList&) = delete;
  ArgList& operator=(const ArgList&) = delete;
  ~ArgList() {
    for (VARIANT& x : v) VariantClear(&x);
  }
  void Text(const std::string& s) { Variant::SetText(&Add(), s); }
  void Bool(bool b) {
    VARIANT& x = Add();
    x.vt = VT_BOOL;
    x.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  }
  void Int(long n) {
    VARIANT& x = Add();
    x.vt = VT_I4;
    x.lVal = n;
  }

  std::vector<VARIANT> v;

 private:
  VARIANT& Add() {
    VARIANT x;
    VariantInit(&x);
    v.push_back(x);
    return v.back();
  }
};

class AdsiObject final : public MetabaseObject {
 public:
  explicit AdsiObject(Com<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

  std::string Name() override {
    Com<IADs> ads;
    Check(dispatch_->QueryInterface(IID_IADs, reinterpret_cast<void**>(ads.put())),
          "QueryInterface(IADs)");
    Bstr name;
    Check(ads->get_Name(name.put()), "IADs::get_Name");
    return name.Text();
  }

  std::unique_ptr<MetabaseObject> GetObject(const std::string& class_name,
                                            const std::string& relative_path) override {
    ArgList args;
    args.Text(class_name);
    args.Text(relative_path);
    Variant result;
    InvokeMethod(dispatch_.get(), L"GetObject", args.v, result.get());
    return FromVariant(*result);
  }

  std::string GetString(const std::string& property) override {
    Variant v;
    Get(property, v.get());
    return VariantText(*v);
  }

  std::vector<std::string> GetStringList(const std::string& property) override {
    Variant v;
    Get(property, v.get());
    return VariantTextList(*v);
  }

  void PutString(const std::string& property, const std::string& value) override {
    Variant v;
    Variant::SetText(v.get(), value);
    Put(property, *v);
  }

  void PutStringList(const std::string& property, const std::vector<std::string>& values) override {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    if (!array) throw MetabaseError("SafeArrayCreateVector failed");
    Variant v;
    v.get()->vt = VT_ARRAY | VT_VARIANT;
    v.get()->parray = array;  // freed with v
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
      Variant item;
      Variant::SetText(item.get(), values[static_cast<std::size_t>(i)]);
      Check(SafeArrayPutElement(array, &i, item.get()), "SafeArrayPutElement");
    }
    Put(property, *v);
  }

  void SetInfo() override { Check(Ads()->SetInfo(), "IADs::SetInfo"); }

  std::unique_ptr<MetabaseObject> Create(const std::string& class_name,
                                         const std::string& name) override {
    Com<IADsContainer> container;
    QueryContainer(&container);
    Bstr cls(class_name), child(name);
    Com<IDispatch> made;
    Check(container->Create(cls.get(), child.get(), made.put()), "IADsContainer::Create");
    return std::make_unique<AdsiObject>(std::move(made));
  }

  void Delete(const std::string& class_name, const std::string& name) override {
    Com<IADsContainer> container;
    QueryContainer(&container);
    Bstr cls(class_name), child(name);
    Check(container->Delete(cls.get(), child.get()), "IADsContainer::Delete");
  }

  std::unique_ptr<MetabaseEnumerator> Enumerate() override;

  std::vector<std::string> GetDataPaths(const std::string& property, int attribute) override {
    ArgList args;
    args.Text(property);
    args.Int(attribute);
    Variant result;
    InvokeMethod(dispatch_.get(), L"GetDataPaths", args.v, result.get());
    return VariantTextList(*result);
  }

  void AddExtensionFile(const std::string& path, bool allowed, const std::string& group_id,
                        bool can_delete, const std::string& description) override {
    ArgList args;
    args.Text(path);
    args.Bool(allowed);
    args.Text(group_id);
    args.Bool(can_delete);
    args.Text(description);
    Variant result;
    InvokeMethod(dispatch_.get(), L"AddExtensionFile", args.v, result.get());
  }

  void DeleteExtensionFileRecord(const std::string& path) override {
    ArgList args;
    args.Text(path);
    Variant result;
    InvokeMethod(dispatch_.get(), L"DeleteExtensionFileRecord", args.v, result.get());
  }

  static std::unique_ptr<MetabaseObject> FromVariant(const VARIANT& v) {
    if (v.vt != VT_DISPATCH || !v.pdispVal) throw MetabaseError("not an object");
    Com<IDispatch> dispatch;
    *dispatch.put() = v.pdispVal;
    v.pdispVal->AddRef();
    return std::make_unique<AdsiObject>(std::move(dispatch));
  }

 private:
  // One IADs reference kept while the object lives, so that written
  // properties stay in its cache until SetInfo.
  IADs* Ads() {
    if (!ads_.get()) {
      Check(dispatch_->QueryInterface(IID_IADs, reinterpret_cast<void**>(ads_.put())),
            "QueryInterface(IADs)");
    }
    return ads_.get();
  }

  void Get(const std::string& property, VARIANT* out) {
    Bstr name(property);
    Check(Ads()->Get(name.get(), out), "IADs::Get");
  }

  void Put(const std::string& property, const VARIANT& value) {
    Bstr name(property);
    Check(Ads()->Put(name.get(), value), "IADs::Put");
  }

  void QueryContainer(Com<IADsContainer>* out) {
    Check(dispatch_->QueryInterface(IID_IADsContainer, reinterpret_cast<void**>(out->put())),
          "QueryInterface(IADsContainer)");
  }

  Com<IDispatch> dispatch_;
  Com<IADs> ads_;
};

class AdsiElement final : public MetabaseElement {
 public:
  VARIANT* get() { return v_.get(); }
  std::unique_ptr<MetabaseObject> AsObject() override { return AdsiObject::FromVariant(*v_); }

 private:
  Variant v_;
};

using EnumeratorHandle = std::unique_ptr<IEnumVARIANT, decltype(&ADsFreeEnumerator)>;

class AdsiEnumerator final : public MetabaseEnumerator {
 public:
  explicit AdsiEnumerator(EnumeratorHandle e) : e_(std::move(e)) {}
  std::unique_ptr<MetabaseElement> Next() override {
    // The element owns the variant before the call fills it, so whatever the
    // call leaves there is cleared on every way out.
    auto element = std::make_unique<AdsiElement>();
    ULONG fetched = 0;
    const HRESULT hr = ADsEnumerateNext(e_.get(), 1, element->get(), &fetched);
    if (FAILED(hr)) Fail("ADsEnumerateNext", hr);
    if (hr == S_FALSE || fetched == 0) return nullptr;
    return element;
  }

 private:
  EnumeratorHandle e_;
};

std::unique_ptr<MetabaseEnumerator> AdsiObject::Enumerate() {
  Com<IADsContainer> container;
  QueryContainer(&container);
  IEnumVARIANT* e = nullptr;
  Check(ADsBuildEnumerator(container.get(), &e), "ADsBuildEnumerator");
  EnumeratorHandle owned(e, &ADsFreeEnumerator);
  return std::make_unique<AdsiEnumerator>(std::move(owned));
}

class AdsiMetabase final : public Metabase {
 public:
  std::unique_ptr<MetabaseObject> OpenNamespace() override {
    CLSID clsid{};
    Check(CLSIDFromProgID(L"IISNamespace", &clsid), "CLSIDFromProgID(IISNamespace)");
    Com<IDispatch> dispatch;
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                           IID_IDispatch, reinterpret_cast<void**>(dispatch.put())),
          "CoCreateInstance(IISNamespace)");
    return std::make_unique<AdsiObject>(std::move(dispatch));
  }

  std::unique_ptr<MetabaseObject> OpenPath(const std::string& path, MetabaseInterface as) override {
    // IISBaseObject's methods are reached through the object's dispatch
    // interface, as the IIS provider publishes them.
    const IID& iid = as == MetabaseInterface::kIADs            ? IID_IADs
                     : as == MetabaseInterface::kIADsContainer ? IID_IADsContainer
                                                               : IID_IDispatch;
    Com<IUnknown> unknown;
    const std::wstring wide = Wide(path);
    Check(ADsGetObject(wide.c_str(), iid, reinterpret_cast<void**>(unknown.put())), "ADsGetObject");
    Com<IDispatch> dispatch;
    Check(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.put())),
          "QueryInterface(IDispatch)");
    return std::make_unique<AdsiObject>(std::move(dispatch));
  }
};

}  // namespace

std::unique_ptr<Metabase> MakeAdsiMetabase() { return std::make_unique<AdsiMetabase>(); }

}  // namespace zelk::manager
