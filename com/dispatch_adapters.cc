#include "com/dispatch_adapters.h"

#include <dispex.h>
#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "com/com_support.h"
#include "model/fields.h"

namespace zsepa::com {
namespace {

constexpr int32_t kNoSuchMember = 438;
constexpr int32_t kWrongArguments = 450;

// COM VARIANTs released on scope exit.
class Variants {
 public:
  explicit Variants(size_t count) : values_(count) {
    for (VARIANT& value : values_) VariantInit(&value);
  }
  ~Variants() {
    for (VARIANT& value : values_) VariantClear(&value);
  }
  Variants(const Variants&) = delete;
  Variants& operator=(const Variants&) = delete;
  VARIANT* data() { return values_.data(); }
  VARIANT& operator[](size_t i) { return values_[i]; }
  size_t size() const { return values_.size(); }

 private:
  std::vector<VARIANT> values_;
};

// The core's code for an HRESULT: run-time errors (FACILITY_CONTROL) as
// their classic number, anything else as it is.
int32_t CodeOf(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
  return static_cast<int32_t>(hr);
}

std::string HexText(HRESULT hr) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

// Raises the failure of a late-bound call of `name` as zsepa::Error.
[[noreturn]] void RaiseCallFailure(HRESULT hr, const std::wstring& name,
                                   EXCEPINFO& exception) {
  const std::string member = Narrow(name.data(), name.size());
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn != nullptr) {
      exception.pfnDeferredFillIn(&exception);
    }
    const HRESULT code =
        exception.scode != 0
            ? exception.scode
            : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception.wCode);
    std::string source = FromBstr(exception.bstrSource);
    std::string description = FromBstr(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (description.empty()) description = "Errore " + HexText(code);
    throw Error(CodeOf(code), source.empty() ? member : source, description);
  }
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
    throw Error(kNoSuchMember, member,
                "Object doesn't support this property or method");
  }
  if (hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL) {
    throw Error(kWrongArguments, member,
                "Wrong number of arguments or invalid property assignment");
  }
  if (hr == DISP_E_TYPEMISMATCH) {
    throw Error(rt::kTypeMismatch, member, "Type mismatch");
  }
  throw Error(CodeOf(hr), member,
              "Errore " + HexText(hr) + " chiamando " + member);
}

// Invokes member `id` (of name `name`, for messages) with `args` given in
// order; `put` marks a property assignment.
HRESULT TryInvoke(IDispatch* object, DISPID id, WORD flags, Variants& args,
                  VARIANT* result, EXCEPINFO& exception) {
  // DISPPARAMS holds the arguments last first.
  std::vector<VARIANT> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    reversed[args.size() - 1 - i] = args[i];
  }
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  exception = EXCEPINFO{};
  UINT arg_error = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                        result, &exception, &arg_error);
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  if (object == nullptr) rt::Raise(rt::kObjectNotSet);
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr =
      object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr == E_NOTIMPL) {
    // Script objects may answer names only through IDispatchEx.
    Ref<IDispatchEx> extended;
    if (SUCCEEDED(object->QueryInterface(
            __uuidof(IDispatchEx),
            reinterpret_cast<void**>(extended.Receive())))) {
      BSTR text = SysAllocString(name);
      if (text == nullptr) throw std::bad_alloc();
      hr = extended->GetDispID(text, fdexNameCaseInsensitive, &id);
      SysFreeString(text);
    }
  }
  if (FAILED(hr)) {
    EXCEPINFO none{};
    RaiseCallFailure(hr == E_NOTIMPL ? DISP_E_UNKNOWNNAME : hr, name, none);
  }
  return id;
}

// Calls `name` with `args`; a member that takes no arguments but answers
// with an object is called without them and its default member given the
// arguments (rs.Fields("x") as scripts write it for rs.Fields.Item("x")).
void Invoke(IDispatch* object, const wchar_t* name, WORD flags, Variants& args,
            VARIANT* result) {
  const DISPID id = IdOf(object, name);
  EXCEPINFO exception{};
  HRESULT hr = TryInvoke(object, id, flags, args, result, exception);
  if ((hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_MEMBERNOTFOUND) &&
      args.size() > 0 && !(flags & DISPATCH_PROPERTYPUT)) {
    Variants none(0);
    Variants holder(1);
    hr = TryInvoke(object, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none,
                   &holder[0], exception);
    if (SUCCEEDED(hr)) {
      if (V_VT(&holder[0]) != VT_DISPATCH ||
          V_DISPATCH(&holder[0]) == nullptr) {
        rt::Raise(rt::kTypeMismatch);
      }
      hr = TryInvoke(V_DISPATCH(&holder[0]), DISPID_VALUE, flags, args, result,
                     exception);
    }
  }
  if (FAILED(hr)) RaiseCallFailure(hr, name, exception);
}

void PutMember(IDispatch* object, const wchar_t* name, const Variant& value) {
  Variants args(1);
  ToVariant(value, &args[0]);
  Invoke(object, name, DISPATCH_PROPERTYPUT, args, nullptr);
}

// The value of an object member as a COM reference.
Ref<IDispatch> ObjectOf(IDispatch* object, const wchar_t* name,
                        std::initializer_list<Variant> args) {
  return Ref<IDispatch>(CallForObject(object, name, args), false);
}

class HostCompany final : public framework::CurrentCompany {
 public:
  void Reset(Ref<IDispatch> company) { company_ = std::move(company); }
  Variant CodiceDitta() const override { return Read(L"CodiceDitta"); }
  std::string RagioneSocialeDitta() const override {
    return Read(L"RagioneSocialeDitta").ToText();
  }
  Variant CodiceAnagraficaDitta() const override {
    return Read(L"CodiceAnagraficaDitta");
  }
  std::string IdentificativoDitta() const override {
    return Read(L"IdentificativoDitta").ToText();
  }
  std::string IdentificativoDittaAlternativo() const override {
    return Read(L"IdentificativoDittaAlternativo").ToText();
  }

 private:
  Variant Read(const wchar_t* name) const {
    return CallMember(company_.get(), name,
                      DISPATCH_PROPERTYGET | DISPATCH_METHOD);
  }
  Ref<IDispatch> company_;
};

// One context and one company object serve every call: each call fetches
// the host's objects afresh into them, so references handed out earlier
// stay valid and read the current values.
class HostContext final : public framework::WorkContext {
 public:
  void Reset(Ref<IDispatch> context) { context_ = std::move(context); }
  const framework::CurrentCompany& DittaCorrente() const override {
    company_.Reset(ObjectOf(context_.get(), L"DittaCorrente", {}));
    return company_;
  }

 private:
  Ref<IDispatch> context_;
  mutable HostCompany company_;
};

class HostFramework final : public framework::FrameworkObject {
 public:
  explicit HostFramework(IDispatch* host) : host_(host) {}
  const framework::WorkContext& ContestoLavoro() const override {
    context_.Reset(ObjectOf(host_.get(), L"ContestoLavoro", {}));
    return context_;
  }

 private:
  Ref<IDispatch> host_;
  mutable HostContext context_;
};

class HostRecordset final : public Recordset {
 public:
  explicit HostRecordset(Ref<IDispatch> recordset)
      : recordset_(std::move(recordset)) {}
  ~HostRecordset() override {
    try {
      Close();
    } catch (...) {
      // Closing is best effort on destruction.
    }
  }
  bool Eof() const override {
    if (!recordset_) return true;
    return CallMember(recordset_.get(), L"EOF",
                      DISPATCH_PROPERTYGET | DISPATCH_METHOD)
        .ToBool();
  }
  Variant Field(std::string_view name) const override {
    return ValueOf(Variant(name));
  }
  Variant Field(int32_t index) const override {
    return ValueOf(Variant(index));
  }
  void MoveNext() override {
    if (!recordset_) rt::Raise(codes::kObjectClosed);
    CallMember(recordset_.get(), L"MoveNext", DISPATCH_METHOD);
  }
  void Close() override {
    if (!recordset_) return;
    Ref<IDispatch> recordset = std::move(recordset_);
    recordset_ = Ref<IDispatch>();
    CallMember(recordset.get(), L"Close", DISPATCH_METHOD);
  }

 private:
  Variant ValueOf(const Variant& key) const {
    if (!recordset_) rt::Raise(codes::kObjectClosed);
    Ref<IDispatch> field = ObjectOf(recordset_.get(), L"Fields", {key});
    return CallMember(field.get(), L"Value",
                      DISPATCH_PROPERTYGET | DISPATCH_METHOD);
  }
  Ref<IDispatch> recordset_;
};

class HostConnection final : public db::Connection {
 public:
  explicit HostConnection(IDispatch* host) : host_(host) {}
  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    return std::make_unique<HostRecordset>(
        ObjectOf(host_.get(), L"Execute", {Variant(sql)}));
  }

 private:
  Ref<IDispatch> host_;
};

}  // namespace

Variant CallMember(IDispatch* object, const wchar_t* name, WORD flags,
                   std::initializer_list<Variant> args) {
  Variants values(args.size());
  size_t i = 0;
  for (const Variant& arg : args) ToVariant(arg, &values[i++]);
  Variants result(1);
  Invoke(object, name, flags, values, &result[0]);
  return FromVariant(result[0]);
}

IDispatch* CallForObject(IDispatch* object, const wchar_t* name,
                         std::initializer_list<Variant> args) {
  Variants values(args.size());
  size_t i = 0;
  for (const Variant& arg : args) ToVariant(arg, &values[i++]);
  Variants result(1);
  Invoke(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, values,
         &result[0]);
  VARIANT& answer = result[0];
  if (V_VT(&answer) == VT_DISPATCH || V_VT(&answer) == VT_UNKNOWN) {
    if (V_UNKNOWN(&answer) == nullptr) rt::Raise(rt::kObjectNotSet);
    IDispatch* dispatch = nullptr;
    if (FAILED(V_UNKNOWN(&answer)->QueryInterface(
            IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
      rt::Raise(rt::kTypeMismatch);
    }
    return dispatch;
  }
  if (V_VT(&answer) == VT_EMPTY || V_VT(&answer) == VT_NULL) {
    rt::Raise(rt::kObjectNotSet);
  }
  rt::Raise(rt::kTypeMismatch);
}

std::unique_ptr<framework::FrameworkObject> NewFrameworkOverDispatch(
    IDispatch* host) {
  return std::make_unique<HostFramework>(host);
}

std::unique_ptr<db::Connection> NewConnectionOverDispatch(IDispatch* host) {
  return std::make_unique<HostConnection>(host);
}

IDispatch* NewAdoRecordset(const CLSEP_INFOPAG& block) {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"ADODB.Recordset", &clsid))) {
    throw Error(static_cast<int32_t>(REGDB_E_CLASSNOTREG),
                "RecorsetTransazioni",
                "ADODB.Recordset non è registrato su questo sistema: "
                "RecorsetTransazioni richiede ADO");
  }
  IDispatch* created = nullptr;
  const HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                       reinterpret_cast<void**>(&created));
  if (FAILED(hr)) {
    throw Error(static_cast<int32_t>(hr), "RecorsetTransazioni",
                "Impossibile creare ADODB.Recordset");
  }
  Ref<IDispatch> recordset(created, false);
  constexpr int32_t kMayBeNull = 0x40;
  const auto columns = fields::RecordsetColumns();
  {
    Ref<IDispatch> list;
    try {
      list = ObjectOf(recordset.get(), L"Fields", {});
    } catch (const Error& error) {
      // A registered class that cannot be driven (no type library behind
      // its IDispatch, as under Wine) is as good as none.
      throw Error(error.Code(), "RecorsetTransazioni",
                  "ADODB.Recordset non è utilizzabile su questo sistema (" +
                      error.Description() +
                      "): RecorsetTransazioni richiede ADO");
    }
    for (const auto* field : columns) {
      CallMember(list.get(), L"Append", DISPATCH_METHOD,
                 {Variant(field->name),
                  Variant(static_cast<int32_t>(field->column.type)),
                  Variant(field->column.size), Variant(kMayBeNull)});
    }
    for (const auto* field : columns) {
      if (field->column.precision == 0) continue;
      Ref<IDispatch> column = ObjectOf(list.get(), L"Item", {field->name});
      PutMember(column.get(), L"NumericScale",
                Variant(static_cast<int16_t>(field->column.scale)));
      PutMember(column.get(), L"Precision",
                Variant(static_cast<int16_t>(field->column.precision)));
    }
  }
  // Open without source and connection; cursor, lock and options -1.
  {
    Variants args(5);
    for (size_t i = 0; i < 2; ++i) {
      V_VT(&args[i]) = VT_ERROR;
      V_ERROR(&args[i]) = DISP_E_PARAMNOTFOUND;
    }
    for (size_t i = 2; i < 5; ++i) {
      V_VT(&args[i]) = VT_I4;
      V_I4(&args[i]) = -1;
    }
    Invoke(recordset.get(), L"Open", DISPATCH_METHOD, args, nullptr);
  }
  for (int32_t row = 1; row <= block.Count(); ++row) {
    const CLSEP_TRANSFCREDIT& transaction = *block.Trasferimento(row);
    CallMember(recordset.get(), L"AddNew", DISPATCH_METHOD);
    Ref<IDispatch> list = ObjectOf(recordset.get(), L"Fields", {});
    for (const auto* field : columns) {
      Ref<IDispatch> column = ObjectOf(list.get(), L"Item", {field->name});
      PutMember(column.get(), L"Value", field->get(transaction));
    }
    CallMember(recordset.get(), L"Update", DISPATCH_METHOD);
  }
  return recordset.Detach();
}

}  // namespace zsepa::com
