#include "com/com_support.h"

#include <cmath>
#include <vector>

namespace zsepa::com {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
HMODULE g_module = nullptr;

// {3C1F6E0A-7B9D-4F4B-9C2E-51D0A8B6E7F3}
const IID kImplementationId = {
    0x3c1f6e0a,
    0x7b9d,
    0x4f4b,
    {0x9c, 0x2e, 0x51, 0xd0, 0xa8, 0xb6, 0xe7, 0xf3}};

ITypeLib* TypeLibrary() {
  static ITypeLib* library = [] {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    ITypeLib* loaded = nullptr;
    if (length == 0 || length >= MAX_PATH ||
        FAILED(LoadTypeLibEx(path, REGKIND_NONE, &loaded))) {
      return static_cast<ITypeLib*>(nullptr);
    }
    return loaded;  // kept for the life of the process
  }();
  return library;
}

std::string Narrow(const wchar_t* text, size_t length) {
  if (text == nullptr || length == 0) return "";
  const int size = WideCharToMultiByte(
      CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(),
                      size, nullptr, nullptr);
  return out;
}

std::string FromBstr(BSTR text) {
  return Narrow(text, text == nullptr ? 0 : SysStringLen(text));
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return L"";
  const int size = MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        out.data(), size);
  }
  return out;
}

BSTR ToBstr(const std::string& text) {
  const std::wstring wide = Widen(text);
  BSTR out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (out == nullptr) throw std::bad_alloc();
  return out;
}

HRESULT HresultOf(int32_t code) {
  if (code > 0 && code <= 0xFFFF) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, code);
  }
  if (code == 0) return E_FAIL;
  return static_cast<HRESULT>(code);
}

HRESULT SetError(REFIID iid, int32_t code, const std::string& source,
                 const std::string& description) {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    const std::wstring wide_source = Widen(source);
    const std::wstring wide_description = Widen(description);
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(wide_source.c_str()));
    create->SetDescription(const_cast<LPOLESTR>(wide_description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo,
                                         reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return HresultOf(code);
}

HRESULT SetCurrentError(REFIID iid) noexcept {
  try {
    throw;
  } catch (const Error& error) {
    return SetError(iid, error.Code(), error.Source(), error.Description());
  } catch (const std::bad_alloc&) {
    return SetError(iid, rt::kOutOfMemory, "ZALT_FILESEPA", "Out of memory");
  } catch (const std::exception& error) {
    return SetError(iid, codes::kUnspecifiedFailure, "ZALT_FILESEPA",
                    error.what());
  } catch (...) {
    return SetError(iid, codes::kUnspecifiedFailure, "ZALT_FILESEPA",
                    "Errore imprevisto");
  }
}

DATE ToDate(const Date& value) { return value.Serial(); }

Date FromDate(DATE value) {
  if (!std::isfinite(value) || value < Date::kMinSerial ||
      value >= Date::kMaxSerial) {
    rt::Raise(rt::kOverflow);
  }
  return Date::FromSerial(value);
}

void ToVariant(const Variant& value, VARIANT* out) {
  VariantInit(out);
  switch (value.type()) {
    case Variant::Type::kEmpty:
      return;
    case Variant::Type::kNull:
      V_VT(out) = VT_NULL;
      return;
    case Variant::Type::kBoolean:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = value.ToBool() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case Variant::Type::kInt16:
      V_VT(out) = VT_I2;
      V_I2(out) = value.ToInt16();
      return;
    case Variant::Type::kInt32:
      V_VT(out) = VT_I4;
      V_I4(out) = value.ToInt32();
      return;
    case Variant::Type::kInt64:
      V_VT(out) = VT_I8;
      V_I8(out) = std::stoll(value.ToText());  // plain decimal text
      return;
    case Variant::Type::kDouble:
      V_VT(out) = VT_R8;
      V_R8(out) = value.ToDouble();
      return;
    case Variant::Type::kDate:
      V_VT(out) = VT_DATE;
      V_DATE(out) = ToDate(*value.AsDate());
      return;
    case Variant::Type::kString:
      V_BSTR(out) = ToBstr(*value.AsString());
      V_VT(out) = VT_BSTR;
      return;
  }
}

Variant FromVariant(const VARIANT& value) {
  const VARIANT* v = &value;
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantCopyInd(&copy, const_cast<VARIANT*>(v)))) {
    rt::Raise(rt::kTypeMismatch);
  }
  struct Clear {
    VARIANT* v;
    ~Clear() { VariantClear(v); }
  } clear{&copy};
  switch (V_VT(&copy)) {
    case VT_EMPTY:
      return Variant();
    case VT_NULL:
      return Variant::Null();
    case VT_BOOL:
      return Variant(V_BOOL(&copy) != 0);
    case VT_UI1:
      return Variant(static_cast<int16_t>(V_UI1(&copy)));
    case VT_I1:
      return Variant(static_cast<int16_t>(V_I1(&copy)));
    case VT_I2:
      return Variant(static_cast<int16_t>(V_I2(&copy)));
    case VT_UI2:
      return Variant(static_cast<int32_t>(V_UI2(&copy)));
    case VT_I4:
    case VT_INT:
      return Variant(static_cast<int32_t>(V_I4(&copy)));
    case VT_UI4:
    case VT_UINT:
      return Variant(static_cast<int64_t>(V_UI4(&copy)));
    case VT_I8:
      return Variant(static_cast<int64_t>(V_I8(&copy)));
    case VT_R4:
      return Variant(static_cast<double>(V_R4(&copy)));
    case VT_R8:
      return Variant(V_R8(&copy));
    case VT_CY:
    case VT_DECIMAL: {
      VARIANT number;
      VariantInit(&number);
      if (FAILED(VariantChangeType(&number, &copy, 0, VT_R8))) {
        rt::Raise(rt::kOverflow);
      }
      return Variant(V_R8(&number));
    }
    case VT_DATE:
      return Variant(FromDate(V_DATE(&copy)));
    case VT_BSTR:
      return Variant(FromBstr(V_BSTR(&copy)));
    default:
      rt::Raise(rt::kTypeMismatch);
  }
}

}  // namespace zsepa::com
