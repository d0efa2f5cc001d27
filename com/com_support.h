#ifndef ZSEPA_COM_COM_SUPPORT_H_
#define ZSEPA_COM_COM_SUPPORT_H_

// The plumbing every COM object of the server shares: module counts, the
// embedded type library, conversions between COM and core values, errors
// as IErrorInfo, and the IUnknown/IDispatch bases of an object's dual
// interface and of a further one.

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "zsepa/date.h"
#include "zsepa/error.h"
#include "zsepa/variant.h"

namespace zsepa::com {

// Live objects and LockServer locks; DllCanUnloadNow answers S_OK when both
// are zero. The class factories are static and count only through
// LockServer.
extern std::atomic<long> g_objects;
extern std::atomic<long> g_locks;
extern HMODULE g_module;

// The type library embedded in the DLL, loaded once (REGKIND_NONE). Returns
// nullptr when it cannot be loaded.
ITypeLib* TypeLibrary();

// A private interface through which the server recognises its own objects
// when a host hands one back (AddWithInfoPag): QueryInterface for it gives
// the object itself, AddRef'd.
extern const IID kImplementationId;

// UTF-8 <-> UTF-16. A null BSTR is the empty text.
std::string Narrow(const wchar_t* text, size_t length);
std::string FromBstr(BSTR text);
std::wstring Widen(const std::string& text);
// A new BSTR; raises std::bad_alloc when memory runs out.
BSTR ToBstr(const std::string& text);

// The HRESULT that carries a core error code: the classic run-time numbers
// (positive, below 65536) as FACILITY_CONTROL errors (0x800A0000 + n), so
// that scripts see Err.Number n; negative codes as they are.
HRESULT HresultOf(int32_t code);

// Records `error` as the thread's IErrorInfo for interface `iid` and returns
// its HRESULT.
HRESULT SetError(REFIID iid, int32_t code, const std::string& source,
                 const std::string& description);

// The error of the exception being handled (call from a catch block):
// zsepa::Error with its code, source and text; memory exhaustion as 7;
// anything else as 0x80004005 with its text.
HRESULT SetCurrentError(REFIID iid) noexcept;

// Runs `body` and turns whatever it raises into an IErrorInfo; S_OK
// otherwise.
template <typename Body>
HRESULT Call(REFIID iid, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    return SetCurrentError(iid);
  }
}

// Variants: a core Variant to a COM VARIANT (Empty, Null, Boolean, I2, I4,
// I8, R8, DATE, BSTR) and back. A VARIANT that the core cannot hold (an
// object, an array) raises 13; by-reference values are read through.
void ToVariant(const Variant& value, VARIANT* out);
Variant FromVariant(const VARIANT& value);
// DATE and Date share their zero date (30 December 1899); a DATE outside
// the years 100 to 9999 raises 6.
DATE ToDate(const Date& value);
Date FromDate(DATE value);

// Typed values between a core member and its COM form.
inline void Out(const std::string& value, BSTR* out) { *out = ToBstr(value); }
inline void Out(double value, double* out) { *out = value; }
inline void Out(int16_t value, short* out) { *out = value; }
inline void Out(int32_t value, LONG* out) { *out = value; }
inline void Out(bool value, VARIANT_BOOL* out) {
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
}
inline void Out(const Date& value, DATE* out) { *out = ToDate(value); }
inline void Out(const Variant& value, VARIANT* out) { ToVariant(value, out); }
template <typename E, typename C>
requires(std::is_enum_v<E>&& std::is_enum_v<C>) void Out(E value, C* out) {
  *out = static_cast<C>(static_cast<int32_t>(value));
}

inline void In(BSTR value, std::string& member) { member = FromBstr(value); }
inline void In(double value, double& member) { member = value; }
inline void In(short value, int16_t& member) { member = value; }
inline void In(LONG value, int32_t& member) { member = value; }
inline void In(VARIANT_BOOL value, bool& member) { member = value != 0; }
inline void In(DATE value, Date& member) { member = FromDate(value); }
inline void In(const VARIANT& value, Variant& member) {
  member = FromVariant(value);
}
template <typename C, typename E>
requires(std::is_enum_v<E>&& std::is_enum_v<C>) void In(C value, E& member) {
  member = static_cast<E>(static_cast<int32_t>(value));
}

// Holds one COM reference.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p, bool add_ref = true) : p_(p) {
    if (p_ != nullptr && add_ref) p_->AddRef();
  }
  Ref(const Ref& other) : Ref(other.p_) {}
  Ref& operator=(const Ref& other) {
    Ref copy(other);
    std::swap(p_, copy.p_);
    return *this;
  }
  ~Ref() {
    if (p_ != nullptr) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands the reference over to an [out] pointer.
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T** Receive() {
    *this = Ref();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// The dispatch type information of the dual interface `Itf` in the embedded
// library, looked up once; nullptr when the library cannot be loaded.
template <typename Itf>
ITypeInfo* TypeInfoOf() {
  static ITypeInfo* info = [] {
    ITypeInfo* found = nullptr;
    ITypeLib* library = TypeLibrary();
    if (library != nullptr) {
      library->GetTypeInfoOfGuid(__uuidof(Itf), &found);
    }
    return found;  // kept for the life of the process
  }();
  return info;
}

// The IDispatch members of the dual interface `Itf` that its type
// information in the embedded library serves; IUnknown is the object's own.
template <typename Itf>
class TypedDispatch : public Itf {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* info = Info();
    if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
    info->AddRef();
    *out = info;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    ITypeInfo* info = Info();
    if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
    return DispGetIDsOfNames(info, names, count, ids);
  }

 protected:
  ~TypedDispatch() = default;
  static ITypeInfo* Info() { return TypeInfoOf<Itf>(); }
  // Invoke as the type library does it, with no error information left
  // over from an earlier call.
  HRESULT InvokeThroughTypeInfo(DISPID id, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* exception,
                                UINT* arg_error) {
    ITypeInfo* info = Info();
    if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
    SetErrorInfo(0, nullptr);
    return info->Invoke(static_cast<Itf*>(this), id, flags, params, result,
                        exception, arg_error);
  }
  // Runs `body` with errors reported for this interface.
  template <typename Body>
  HRESULT Run(Body&& body) noexcept {
    return Call(__uuidof(Itf), std::forward<Body>(body));
  }
};

// IUnknown, ISupportErrorInfo and IDispatch (delegated to the type
// library) of an object with the dual interface `Itf`.
template <typename Itf>
class Dual : public TypedDispatch<Itf>, public ISupportErrorInfo {
 public:
  Dual() { ++g_objects; }
  virtual ~Dual() { --g_objects; }
  Dual(const Dual&) = delete;
  Dual& operator=(const Dual&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Itf) ||
        iid == kImplementationId) {
      *out = static_cast<Itf*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == __uuidof(Itf) ? S_OK : S_FALSE;
  }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception,
                      UINT* arg_error) override {
    if (this->Info() == nullptr) return TYPE_E_CANTLOADLIBRARY;
    HRESULT hr = S_OK;
    if (InvokeOwn(id, flags, params, result, hr)) {
      if (FAILED(hr) && exception != nullptr) FillException(hr, exception);
      return FAILED(hr) && exception != nullptr ? DISP_E_EXCEPTION : hr;
    }
    return this->InvokeThroughTypeInfo(id, flags, params, result, exception,
                                       arg_error);
  }

 protected:
  // Lets an object serve a call itself before the type library does (an
  // assignment by value that the library lists only by reference). Returns
  // true when it did, with its result in `hr`.
  virtual bool InvokeOwn(DISPID, WORD, DISPPARAMS*, VARIANT*, HRESULT&) {
    return false;
  }

 private:
  static void FillException(HRESULT hr, EXCEPINFO* exception) {
    *exception = EXCEPINFO{};
    exception->scode = hr;
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error != nullptr) {
      error->GetSource(&exception->bstrSource);
      error->GetDescription(&exception->bstrDescription);
      error->Release();
    }
  }

  std::atomic<ULONG> references_{1};
};

// A further dual interface `Itf` of an object, held by the object as a
// member: its IUnknown is the owner's (one identity, one reference count)
// and its IDispatch is served by `Itf`'s own type information. The owner's
// QueryInterface hands it out and its ISupportErrorInfo answers for it.
template <typename Itf>
class Facet : public TypedDispatch<Itf> {
 public:
  explicit Facet(IUnknown* owner) : owner_(owner) {}
  Facet(const Facet&) = delete;
  Facet& operator=(const Facet&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return owner_->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception,
                      UINT* arg_error) override {
    return this->InvokeThroughTypeInfo(id, flags, params, result, exception,
                                       arg_error);
  }

 protected:
  ~Facet() = default;

 private:
  IUnknown* owner_;
};

// Creates a COM object of type T (reference count 1, handed over).
template <typename T, typename... Args>
T* New(Args&&... args) {
  return new T(std::forward<Args>(args)...);
}

}  // namespace zsepa::com

#endif  // ZSEPA_COM_COM_SUPPORT_H_
