// Plays a host of the registered server: activation by ProgID, members
// reached through GetIDsOfNames and through Invoke by their fixed dispatch
// identifiers, errors through EXCEPINFO and IErrorInfo, the builder's second
// interface IZaltFileProfile, and the lifetime of the DLL (DllCanUnloadNow).
//
// Usage: client_test DLL_PATH. Prints one line per failed check and
// "N passed, N failed"; exits 1 when a check failed.
#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "wide_text.h"
#include "zalt_filesepa.h"

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const std::string& what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAILED: %s\n", what.c_str());
  }
}

std::string Hex(long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx",
                static_cast<unsigned long>(value));
  return text;
}

// The text of a VARIANT as the checks compare it: "Empty", "Null", or the
// value converted to text (True is "True").
std::string TextOf(const VARIANT& value) {
  if (V_VT(&value) == VT_EMPTY) return "Empty";
  if (V_VT(&value) == VT_NULL) return "Null";
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) ? "True" : "False";
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&value),
                                 MAKELCID(0x0409, SORT_DEFAULT), 0, VT_BSTR))) {
    return "?";
  }
  std::string out = Narrow(V_BSTR(&text));
  VariantClear(&text);
  return out;
}

// The outcome of one Invoke.
struct Answer {
  HRESULT hr = S_OK;
  VARIANT value;
  long scode = 0;
  std::string source;
  std::string description;
  Answer() { VariantInit(&value); }
  ~Answer() { VariantClear(&value); }
  Answer(const Answer&) = delete;
  Answer& operator=(const Answer&) = delete;
  std::string Text() const { return TextOf(value); }
  IDispatch* Object() const {
    return V_VT(&value) == VT_DISPATCH ? V_DISPATCH(&value) : nullptr;
  }
};

// Invokes member `id` with `args` (in order, copied).
void Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args,
          Answer& answer) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT arg_error = 0;
  answer.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                             &answer.value, &exception, &arg_error);
  if (answer.hr == DISP_E_EXCEPTION) {
    answer.scode = exception.scode;
    answer.source = Narrow(exception.bstrSource);
    answer.description = Narrow(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  for (VARIANT& arg : args) VariantClear(&arg);
}

constexpr WORD kGet = DISPATCH_PROPERTYGET | DISPATCH_METHOD;

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}
VARIANT Long(long n) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}
VARIANT Double(double d) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = d;
  return v;
}
VARIANT NullValue() {
  VARIANT v;
  V_VT(&v) = VT_NULL;
  return v;
}
VARIANT Object(IDispatch* object) {
  VARIANT v;
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = object;
  if (object != nullptr) object->AddRef();
  return v;
}

IDispatch* Create(const wchar_t* prog_id) {
  CLSID clsid;
  IDispatch* object = nullptr;
  if (SUCCEEDED(CLSIDFromProgID(prog_id, &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(&object));
  }
  return object;
}

std::string Name(const wchar_t* prog_id) { return Narrow(prog_id); }

void Activation() {
  struct Row {
    const wchar_t* prog_id;
    const IID* iid;
  };
  const Row rows[] = {
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", &IID__CLSEP_FILESEPA},
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", &IID__CLSEP_INFOPAG},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", &IID__CLSEP_TRANSFCREDIT},
      {L"ZALT_FILESEPA.CLSEP_RIFSCA", &IID__CLSEP_RIFSCA},
      {L"ZALT_FILESEPA.CLSEP_OUTPUTSEPA", &IID__CLSEP_OUTPUTSEPA},
      {L"ZALT_FILESEPA.CLSEP_STATUSSCA", &IID__CLSEP_STATUSSCA},
  };
  for (const Row& row : rows) {
    IDispatch* object = Create(row.prog_id);
    Check(object != nullptr, "create " + Name(row.prog_id));
    if (object == nullptr) continue;
    IUnknown* typed = nullptr;
    Check(SUCCEEDED(object->QueryInterface(*row.iid,
                                           reinterpret_cast<void**>(&typed))),
          "its interface: " + Name(row.prog_id));
    if (typed != nullptr) typed->Release();
    ISupportErrorInfo* errors = nullptr;
    Check(SUCCEEDED(object->QueryInterface(
              IID_ISupportErrorInfo, reinterpret_cast<void**>(&errors))) &&
              errors->InterfaceSupportsErrorInfo(*row.iid) == S_OK,
          "ISupportErrorInfo: " + Name(row.prog_id));
    if (errors != nullptr) errors->Release();
    object->Release();
  }
  Check(Create(L"ZALT_FILESEPA.CLSEP_NESSUNA") == nullptr,
        "an unknown ProgID creates nothing");
}

// Names resolve to the fixed identifiers, without regard to case.
void NamesToIds() {
  struct Row {
    const wchar_t* prog_id;
    const wchar_t* name;
    DISPID id;
  };
  const Row rows[] = {
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", L"ActiveInterface", 0x4003000b},
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", L"Initialize", 0x60030010},
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", L"codiceisolocalizzazione", 0x68030023},
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", L"AddWithInfoPag", 0x60030037},
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", L"Count", 0x68030000},
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", L"RecorsetTransazioni", 0x60030009},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", L"Count", 0x60030005},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", L"FlagVariato", 0x40030037},
      {L"ZALT_FILESEPA.CLSEP_RIFSCA", L"IndicatoreTipoScadenza", 0x40030002},
      {L"ZALT_FILESEPA.CLSEP_OUTPUTSEPA", L"NumeroRichiami", 0x68030009},
      {L"ZALT_FILESEPA.CLSEP_STATUSSCA", L"DataScadenza", 0x40030004},
  };
  for (const Row& row : rows) {
    IDispatch* object = Create(row.prog_id);
    if (object == nullptr) continue;
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
    const HRESULT hr =
        object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    Check(hr == S_OK && id == row.id,
          "id of " + Name(row.name) + ": " + Hex(id));
    object->Release();
  }
  IDispatch* object = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Nessuno")};
  Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) ==
            DISP_E_UNKNOWNNAME,
        "an unknown name is refused");
  object->Release();
}

// New objects read their documented defaults by dispatch identifier.
void Defaults() {
  struct Row {
    const wchar_t* prog_id;
    DISPID id;
    const char* expected;
  };
  const Row rows[] = {
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", 0x40030016, "1"},     // FormatoFile
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", 0x4003000d, "0"},     // TipoStruttura
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", 0x6803000f, "0"},     // Stato
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", 0x6803000e, ""},      // Errore
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", 0x68030023, ""},      // CodiceIso...
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x4003000c, "0"},      // TipoIncasso
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x68030000, "0"},      // Count
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x68030002, "0"},      // TotaleImporto
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x40030007, "Empty"},  // Abi
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x4003000c, "EUR"},  // Divisa
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x60030005, "0"},    // Count
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x40030024, "0"},    // Indirizzo
      {L"ZALT_FILESEPA.CLSEP_RIFSCA", 0x40030002, "1"},          // TipoScadenza
      {L"ZALT_FILESEPA.CLSEP_OUTPUTSEPA", 0x68030008, "0"},    // NumeroInsoluti
      {L"ZALT_FILESEPA.CLSEP_STATUSSCA", 0x40030003, "True"},  // IsInsoluto
      {L"ZALT_FILESEPA.CLSEP_STATUSSCA", 0x40030004, "Empty"},  // DataScad.
  };
  for (const Row& row : rows) {
    IDispatch* object = Create(row.prog_id);
    if (object == nullptr) continue;
    Answer answer;
    Call(object, row.id, kGet, {}, answer);
    Check(answer.hr == S_OK && answer.Text() == row.expected,
          Name(row.prog_id) + " " + Hex(row.id) + " reads '" + answer.Text() +
              "', hr " + Hex(answer.hr));
    object->Release();
  }
  // The creation date is today at midnight.
  IDispatch* builder = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  Answer date;
  Call(builder, 0x40030024, kGet, {}, date);
  SYSTEMTIME now;
  GetLocalTime(&now);
  double today = 0;
  now.wHour = now.wMinute = now.wSecond = now.wMilliseconds = 0;
  SystemTimeToVariantTime(&now, &today);
  Check(V_VT(&date.value) == VT_DATE && V_DATE(&date.value) == today,
        "DataCreazioneSupporto is today at midnight: " + date.Text());
  builder->Release();
}

// What is written is read back, through the typed accessors of the library.
void RoundTrips() {
  struct Row {
    const wchar_t* prog_id;
    DISPID id;
    std::function<VARIANT()> value;
    const char* expected;
  };
  const Row rows[] = {
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x40030000,
       [] { return Double(12.345); }, "12.345"},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x40030001,
       [] { return Text(L"SUPP"); }, "SUPP"},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x40030005,
       [] { return Text(L"Società Più"); }, "Società Più"},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x4003000c,
       [] { return Text(L""); }, ""},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x4003001f,
       [] { return NullValue(); }, "Null"},
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x40030017, [] { return Long(9); },
       "9"},  // outside zxEnumTipoSequenzaRidSDD
      {L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT", 0x40030030,
       [] { return Text(L"86"); }, "86"},  // converted by the library
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x40030007,
       [] { return Text(L"03069"); }, "03069"},
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x40030005, [] { return Long(1); },
       "True"},
      {L"ZALT_FILESEPA.CLSEP_INFOPAG", 0x4003000a, [] { return Long(-7); },
       "-7"},
      {L"ZALT_FILESEPA.CLSEP_FILESEPA", 0x68030023, [] { return Text(L"FR"); },
       "FR"},  // taken by reference
      {L"ZALT_FILESEPA.CLSEP_OUTPUTSEPA", 0x40030003, [] { return Long(6); },
       "6"},
      {L"ZALT_FILESEPA.CLSEP_STATUSSCA", 0x40030004, [] { return NullValue(); },
       "Null"},
  };
  for (const Row& row : rows) {
    IDispatch* object = Create(row.prog_id);
    if (object == nullptr) continue;
    Answer put;
    Call(object, row.id, DISPATCH_PROPERTYPUT, {row.value()}, put);
    Answer get;
    Call(object, row.id, kGet, {}, get);
    Check(put.hr == S_OK && get.hr == S_OK && get.Text() == row.expected,
          Name(row.prog_id) + " " + Hex(row.id) + " put " + Hex(put.hr) +
              " reads '" + get.Text() + "'");
    object->Release();
  }
}

// Errors arrive with their code, source and text, through EXCEPINFO for
// late-bound callers and IErrorInfo for early-bound ones.
void Errors() {
  IDispatch* builder = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  IDispatch* stand_in = Create(L"ZALT_FILESEPA.CLSEP_RIFSCA");
  struct Row {
    const char* what;
    std::function<void(Answer&)> call;
    long scode;
    const char* source;
    const char* description;
  };
  const Row rows[] = {
      {"Initialize without objects",
       [&](Answer& a) { Call(builder, 0x60030010, DISPATCH_METHOD, {}, a); },
       static_cast<long>(0x8003ff9c), "Initialize()",
       "Impostare l'ActiveInterface()"},
      {"Initialize without connection",
       [&](Answer& a) {
         Answer set;
         Call(builder, 0x4003000b, DISPATCH_PROPERTYPUTREF, {Object(stand_in)},
              set);
         Call(builder, 0x60030010, DISPATCH_METHOD, {}, a);
       },
       static_cast<long>(0x8003ff9b), "Initialize()",
       "Impostare l'AdoConnection()"},
      {"totals without a block list",
       [&](Answer& a) { Call(builder, 0x6803000d, kGet, {}, a); },
       static_cast<long>(0x800a005b), nullptr, nullptr},
  };
  for (const Row& row : rows) {
    Answer answer;
    row.call(answer);
    Check(answer.hr == DISP_E_EXCEPTION && answer.scode == row.scode &&
              (row.source == nullptr || answer.source == row.source) &&
              (row.description == nullptr ||
               answer.description == row.description),
          std::string(row.what) + ": " + Hex(answer.hr) + " " +
              Hex(answer.scode) + " " + answer.source + " '" +
              answer.description + "'");
  }
  // Stato and Errore keep Initialize's failure.
  Answer stato;
  Call(builder, 0x6803000f, kGet, {}, stato);
  Check(stato.Text() == "-2147221605",
        "Stato after Initialize: " + stato.Text());

  // Early-bound: the HRESULT and the thread's IErrorInfo.
  _CLSEP_FILESEPA* typed = nullptr;
  builder->QueryInterface(IID__CLSEP_FILESEPA,
                          reinterpret_cast<void**>(&typed));
  typed->putref_ActiveInterface(nullptr);
  VARIANT_BOOL ignored;
  const HRESULT hr = typed->Initialize(&ignored);
  IErrorInfo* info = nullptr;
  BSTR description = nullptr;
  if (GetErrorInfo(0, &info) == S_OK) {
    info->GetDescription(&description);
    info->Release();
  }
  Check(hr == static_cast<HRESULT>(0x8003ff9c) &&
            Narrow(description) == "Impostare l'ActiveInterface()",
        "early-bound Initialize: " + Hex(hr));
  SysFreeString(description);
  typed->Release();

  // Collection indexes.
  IDispatch* block = Create(L"ZALT_FILESEPA.CLSEP_INFOPAG");
  IDispatch* transaction = Create(L"ZALT_FILESEPA.CLSEP_TRANSFCREDIT");
  IDispatch* outcome = Create(L"ZALT_FILESEPA.CLSEP_OUTPUTSEPA");
  struct Index {
    const char* what;
    IDispatch* object;
    DISPID id;
    long index;
  };
  const Index indexes[] = {
      {"Trasferimento(0)", block, 0x68030001, 0},
      {"Trasferimento(1) of an empty block", block, 0x68030001, 1},
      {"RiferimentoScadenza(1) of no references", transaction, 0x60030006, 1},
  };
  for (const Index& row : indexes) {
    Answer answer;
    Call(row.object, row.id, kGet, {Long(row.index)}, answer);
    Check(answer.hr == DISP_E_EXCEPTION &&
              answer.scode == static_cast<long>(0x800a0005),
          std::string(row.what) + ": " + Hex(answer.scode));
  }
  Answer first, second;
  Call(outcome, 0x60030006, DISPATCH_METHOD, {Text(L"123"), Text(L"AM04")},
       first);
  Call(outcome, 0x60030006, DISPATCH_METHOD, {Text(L"123"), Text(L"MS03")},
       second);
  Check(first.hr == S_OK && second.hr == DISP_E_EXCEPTION &&
            second.scode == static_cast<long>(0x800a01c9),
        "a second AddEffetto of one item: " + Hex(second.scode));
  // A host's object that is not one of ours is refused by AddWithInfoPag.
  Answer foreign;
  Call(builder, 0x60030037, DISPATCH_METHOD, {Object(stand_in)}, foreign);
  Check(foreign.hr == DISP_E_EXCEPTION &&
            foreign.scode == static_cast<long>(0x800a000d),
        "AddWithInfoPag of a foreign object: " + Hex(foreign.scode));
  // A wrong kind of value for a typed property.
  Answer mismatch;
  Call(transaction, 0x40030000, DISPATCH_PROPERTYPUT, {Text(L"molto")},
       mismatch);
  Check(FAILED(mismatch.hr), "Importo = \"molto\" fails: " + Hex(mismatch.hr));
  outcome->Release();
  transaction->Release();
  block->Release();
  stand_in->Release();
  builder->Release();
}

// Objects handed out share the core object: a transaction added through
// the block is the one read back, the outcome's items are live.
void Sharing() {
  IDispatch* builder = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  IDispatch* stand_in = Create(L"ZALT_FILESEPA.CLSEP_RIFSCA");
  Answer ignore;
  // Assignment by value of the borrowed objects is accepted.
  Call(builder, 0x4003000b, DISPATCH_PROPERTYPUT, {Object(stand_in)}, ignore);
  Check(ignore.hr == S_OK, "ActiveInterface by value: " + Hex(ignore.hr));
  Answer got;
  Call(builder, 0x4003000b, kGet, {}, got);
  Check(got.Object() == stand_in, "ActiveInterface reads the same object");
  Answer set_connection;
  Call(builder, 0x4003000c, DISPATCH_PROPERTYPUTREF, {Object(stand_in)},
       set_connection);
  Answer initialized;
  Call(builder, 0x60030010, DISPATCH_METHOD, {}, initialized);
  Check(initialized.hr == S_OK && initialized.Text() == "False",
        "Initialize succeeds and returns False: " + Hex(initialized.hr));

  IDispatch* block = Create(L"ZALT_FILESEPA.CLSEP_INFOPAG");
  Answer added;
  Call(block, 0x60030006, DISPATCH_METHOD, {}, added);
  Answer amount;
  Call(added.Object(), 0x40030000, DISPATCH_PROPERTYPUT, {Double(-30)}, amount);
  Answer second;
  Call(block, 0x60030006, DISPATCH_METHOD, {}, second);
  Call(second.Object(), 0x40030000, DISPATCH_PROPERTYPUT, {Double(100)},
       amount);
  Answer with_block;
  Call(builder, 0x60030037, DISPATCH_METHOD, {Object(block)}, with_block);
  Answer count, total, first_amount;
  Call(builder, 0x6803000d, kGet, {}, count);
  Call(builder, 0x6803000c, kGet, {}, total);
  Answer first;
  Call(block, 0x68030001, kGet, {Long(1)}, first);
  Call(first.Object(), 0x40030000, kGet, {}, first_amount);
  Check(with_block.hr == S_OK && count.Text() == "2" && total.Text() == "130" &&
            first_amount.Text() == "-30",
        "AddWithInfoPag and the totals: " + count.Text() + " " + total.Text() +
            " " + first_amount.Text());

  // The outcome object of the builder and its live collection.
  Answer output;
  Call(builder, 0x68030016, kGet, {}, output);
  Answer item;
  Call(output.Object(), 0x60030006, DISPATCH_METHOD,
       {Text(L"123"), Text(L"AM04")}, item);
  Call(output.Object(), 0x60030006, DISPATCH_METHOD,
       {Text(L"124"), Text(L"MD07")}, ignore);
  Answer flag;
  Call(item.Object(), 0x40030003, DISPATCH_PROPERTYPUT, {[] {
         VARIANT v;
         V_VT(&v) = VT_BOOL;
         V_BOOL(&v) = VARIANT_FALSE;
         return v;
       }()},
       flag);
  Answer again;
  Call(builder, 0x68030016, kGet, {}, again);
  Answer insoluti, richiami, items;
  Call(again.Object(), 0x68030008, kGet, {}, insoluti);
  Call(again.Object(), 0x68030009, kGet, {}, richiami);
  Call(again.Object(), 0x68030007, kGet, {}, items);
  Check(insoluti.Text() == "1" && richiami.Text() == "1",
        "counts read the items' flags: " + insoluti.Text() + " " +
            richiami.Text());
  Answer size, by_key, key_number, by_position, out_of_range;
  Call(items.Object(), 1, kGet, {}, size);
  Call(items.Object(), DISPID_VALUE, kGet, {Text(L"124e")}, by_key);
  Call(by_key.Object(), 0x40030000, kGet, {}, key_number);
  Call(items.Object(), DISPID_VALUE, kGet, {Long(1)}, by_position);
  Call(items.Object(), DISPID_VALUE, kGet, {Long(3)}, out_of_range);
  Check(size.Text() == "2" && key_number.Text() == "124" &&
            by_position.Object() != nullptr &&
            out_of_range.scode == static_cast<long>(0x800a0005),
        "Effetti: Count, Item by key and position, bad index " +
            Hex(out_of_range.scode));
  block->Release();
  stand_in->Release();
  builder->Release();
}

// The builder's second interface, IZaltFileProfile: one identity with the
// builder, the profile by name, refused names, and the same members on the
// builder's default IDispatch for script hosts.
void FileProfile() {
  IDispatch* builder = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  IZaltFileProfile* profile = nullptr;
  Check(builder != nullptr &&
            SUCCEEDED(builder->QueryInterface(
                IID_IZaltFileProfile, reinterpret_cast<void**>(&profile))),
        "QueryInterface for IZaltFileProfile");
  if (profile == nullptr) {
    if (builder != nullptr) builder->Release();
    return;
  }
  IUnknown* via_builder = nullptr;
  IUnknown* via_profile = nullptr;
  _CLSEP_FILESEPA* back = nullptr;
  ISupportErrorInfo* errors = nullptr;
  builder->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&via_builder));
  profile->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&via_profile));
  profile->QueryInterface(IID__CLSEP_FILESEPA, reinterpret_cast<void**>(&back));
  profile->QueryInterface(IID_ISupportErrorInfo,
                          reinterpret_cast<void**>(&errors));
  Check(via_builder != nullptr && via_builder == via_profile,
        "IZaltFileProfile has the builder's identity");
  Check(back != nullptr, "IZaltFileProfile leads back to _CLSEP_FILESEPA");
  Check(errors != nullptr &&
            errors->InterfaceSupportsErrorInfo(IID_IZaltFileProfile) == S_OK,
        "ISupportErrorInfo answers for IZaltFileProfile");
  for (IUnknown* held :
       {static_cast<IUnknown*>(via_builder),
        static_cast<IUnknown*>(via_profile), static_cast<IUnknown*>(back),
        static_cast<IUnknown*>(errors)}) {
    if (held != nullptr) held->Release();
  }

  auto read = [&] {
    BSTR name = nullptr;
    profile->get_Profile(&name);
    std::string out = Narrow(name);
    SysFreeString(name);
    return out;
  };
  LONG count = -1;
  BSTR text = nullptr;
  Check(read() == "exact" &&
            profile->get_ProfileFindingsCount(&count) == S_OK && count == 0 &&
            profile->get_ProfileFindingsText(&text) == S_OK &&
            Narrow(text).empty(),
        "a new builder: exact, no findings: " + read());
  SysFreeString(text);

  // Early-bound puts, in order: a refused name keeps the profile before it.
  struct Put {
    const wchar_t* name;
    HRESULT hr;
    const char* after;
  };
  const Put puts[] = {
      {L"bank-2026", S_OK, "bank-2026"},
      {L"bank-2027", static_cast<HRESULT>(0x800a0005), "bank-2026"},
      {L"", static_cast<HRESULT>(0x800a0005), "bank-2026"},
      {L"exact", S_OK, "exact"},
      {L"bank-2026 ", static_cast<HRESULT>(0x800a0005), "exact"},
  };
  for (const Put& row : puts) {
    BSTR name = SysAllocString(row.name);
    const HRESULT hr = profile->put_Profile(name);
    SysFreeString(name);
    std::string description;
    IErrorInfo* info = nullptr;
    if (FAILED(hr) && GetErrorInfo(0, &info) == S_OK && info != nullptr) {
      BSTR got = nullptr;
      info->GetDescription(&got);
      description = Narrow(got);
      SysFreeString(got);
      info->Release();
    }
    Check(hr == row.hr && read() == row.after &&
              (SUCCEEDED(hr) ||
               description.find(Narrow(row.name) + "'") != std::string::npos),
          "Profile = '" + Narrow(row.name) + "': " + Hex(hr) + ", reads " +
              read() + " '" + description + "'");
  }

  // Late-bound, through the builder's default IDispatch, as a script does.
  struct Name {
    const wchar_t* name;
    DISPID id;
  };
  const Name names[] = {{L"Profile", 0x60040000},
                        {L"profilefindingscount", 0x60040001},
                        {L"ProfileFindingsText", 0x60040002}};
  for (const Name& row : names) {
    DISPID id = 0;
    LPOLESTR name[] = {const_cast<LPOLESTR>(row.name)};
    Check(builder->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &id) ==
                  S_OK &&
              id == row.id,
          "the builder's IDispatch knows " + Narrow(row.name) + ": " + Hex(id));
  }
  Answer set, refused, count_late;
  Call(builder, 0x60040000, DISPATCH_PROPERTYPUT, {Text(L"bank-2026")}, set);
  Call(builder, 0x60040000, DISPATCH_PROPERTYPUT, {Text(L"esatto")}, refused);
  Call(builder, 0x60040001, kGet, {}, count_late);
  Check(set.hr == S_OK && read() == "bank-2026" && count_late.Text() == "0",
        "Profile set late-bound: " + Hex(set.hr) + " " + read());
  Check(refused.hr == DISP_E_EXCEPTION &&
            refused.scode == static_cast<long>(0x800a0005) &&
            refused.source == "Profile" &&
            refused.description.find("esatto") != std::string::npos &&
            read() == "bank-2026",
        "a refused name late-bound: " + Hex(refused.scode) + " " +
            refused.source + " '" + refused.description + "'");

  // The documented type information of the default interface stays as it
  // was: it does not list the profile's members.
  ITypeInfo* info = nullptr;
  DISPID id = 0;
  LPOLESTR name[] = {const_cast<LPOLESTR>(L"Profile")};
  Check(builder->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info) == S_OK &&
            FAILED(info->GetIDsOfNames(name, 1, &id)),
        "_CLSEP_FILESEPA's type information does not list Profile");
  if (info != nullptr) info->Release();
  profile->Release();
  builder->Release();
}

// The DLL may unload only when no object and no lock is left.
void Lifetime(const wchar_t* dll_path) {
  // Our own reference, since the system drops its own asynchronously.
  HMODULE module = LoadLibraryW(dll_path);
  // Through void*: FARPROC's own type is a different function type.
  auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  Check(can_unload != nullptr, "DllCanUnloadNow exported");
  if (can_unload == nullptr) return;
  CoFreeUnusedLibraries();
  Check(can_unload() == S_OK, "unloadable with no object left");
  IDispatch* object = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  Check(can_unload() == S_FALSE, "kept while an object lives");
  Answer output;
  Call(object, 0x68030016, kGet, {}, output);
  object->Release();
  Check(can_unload() == S_FALSE, "kept while an object it gave out lives");
  VariantClear(&output.value);
  Check(can_unload() == S_OK, "unloadable once all are released");
  object = Create(L"ZALT_FILESEPA.CLSEP_FILESEPA");
  IUnknown* profile = nullptr;
  object->QueryInterface(IID_IZaltFileProfile,
                         reinterpret_cast<void**>(&profile));
  object->Release();
  Check(profile != nullptr && can_unload() == S_FALSE,
        "kept while the builder's IZaltFileProfile lives");
  if (profile != nullptr) profile->Release();
  Check(can_unload() == S_OK, "unloadable once that is released");
  CLSID clsid;
  CLSIDFromProgID(L"ZALT_FILESEPA.CLSEP_INFOPAG", &clsid);
  IClassFactory* factory = nullptr;
  CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
  if (factory != nullptr) {
    factory->LockServer(TRUE);
    Check(can_unload() == S_FALSE, "kept while locked");
    factory->LockServer(FALSE);
    factory->Release();
  }
  Check(can_unload() == S_OK, "unloadable after the lock");
  FreeLibrary(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: client_test DLL_PATH\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Activation();
  NamesToIds();
  Defaults();
  RoundTrips();
  Errors();
  Sharing();
  FileProfile();
  Lifetime(argv[1]);
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
