#include "com/objects.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com/com_support.h"
#include "com/dispatch_adapters.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/clsep_infopag.h"
#include "zsepa/clsep_outputsepa.h"
#include "zsepa/clsep_transfcredit.h"
#include "zsepa/finding.h"
#include "zsepa/profile.h"

namespace zsepa::com {
namespace {

// Accessors of a stored field: a read and a write, and for a variant field
// also a set by reference (which stores the value as a write does).
#define ZSEPA_FIELD(Name, ComType)                   \
  STDMETHODIMP get_##Name(ComType* value) override { \
    if (value == nullptr) return E_POINTER;          \
    return Run([&] { Out(object_->Name, value); });  \
  }                                                  \
  STDMETHODIMP put_##Name(ComType value) override {  \
    return Run([&] { In(value, object_->Name); });   \
  }
#define ZSEPA_VARIANT_FIELD(Name)                      \
  ZSEPA_FIELD(Name, VARIANT)                           \
  STDMETHODIMP putref_##Name(VARIANT value) override { \
    return Run([&] { In(value, object_->Name); });     \
  }

// The core object behind one of our own COM objects handed back by a host,
// or nullptr when `object` is not one of ours of class `Shell`.
template <typename Shell>
Shell* OwnObject(IUnknown* object) {
  if (object == nullptr) return nullptr;
  void* found = nullptr;
  if (FAILED(object->QueryInterface(kImplementationId, &found))) {
    return nullptr;
  }
  // kImplementationId gives the object's primary interface; the shells of
  // different classes have different ones.
  auto* unknown = static_cast<IUnknown*>(found);
  IUnknown* primary = nullptr;
  const bool same_class = SUCCEEDED(unknown->QueryInterface(
      __uuidof(typename Shell::Interface), reinterpret_cast<void**>(&primary)));
  if (primary != nullptr) primary->Release();
  unknown->Release();
  return same_class ? static_cast<Shell*>(
                          static_cast<typename Shell::Interface*>(found))
                    : nullptr;
}

class RifSca final : public Dual<_CLSEP_RIFSCA> {
 public:
  using Interface = _CLSEP_RIFSCA;
  explicit RifSca(std::shared_ptr<CLSEP_RIFSCA> object)
      : object_(std::move(object)) {}

  ZSEPA_FIELD(NumeroDocumento, BSTR)
  ZSEPA_VARIANT_FIELD(DataDocumento)
  ZSEPA_FIELD(IndicatoreTipoScadenza, ::zxEnumTipoScadenzaPassiva)

 private:
  std::shared_ptr<CLSEP_RIFSCA> object_;
};

class TransfCredit final : public Dual<_CLSEP_TRANSFCREDIT> {
 public:
  using Interface = _CLSEP_TRANSFCREDIT;
  explicit TransfCredit(std::shared_ptr<CLSEP_TRANSFCREDIT> object)
      : object_(std::move(object)) {}

  ZSEPA_FIELD(Importo, double)
  ZSEPA_FIELD(Causale, BSTR)
  ZSEPA_FIELD(NomeBanca, BSTR)
  ZSEPA_FIELD(BicSwift, BSTR)
  ZSEPA_FIELD(IBAN, BSTR)
  ZSEPA_FIELD(RagioneSociale, BSTR)
  ZSEPA_FIELD(Indirizzo, BSTR)
  ZSEPA_FIELD(CodiceIso, BSTR)
  ZSEPA_FIELD(CapCittaProvNazione, BSTR)
  ZSEPA_FIELD(PartitaIVA, BSTR)
  ZSEPA_FIELD(RiferimentoNonStrutturato, BSTR)

  STDMETHODIMP AddRiferimentoScadenza(_CLSEP_RIFSCA** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run(
        [&] { *result = New<RifSca>(object_->AddRiferimentoScadenza()); });
  }
  STDMETHODIMP Count(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->Count(); });
  }
  STDMETHODIMP RiferimentoScadenza(LONG index,
                                   _CLSEP_RIFSCA** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run(
        [&] { *result = New<RifSca>(object_->RiferimentoScadenza(index)); });
  }

  ZSEPA_FIELD(Divisa, BSTR)
  ZSEPA_FIELD(CVSImporto, double)
  ZSEPA_FIELD(CVSTipo, BSTR)
  ZSEPA_FIELD(CVSDescr, BSTR)
  ZSEPA_FIELD(Scadenza, DATE)
  ZSEPA_FIELD(Cap, BSTR)
  ZSEPA_FIELD(Citta, BSTR)
  ZSEPA_FIELD(Provincia, BSTR)
  ZSEPA_FIELD(Nazione, BSTR)
  ZSEPA_FIELD(NumeroEffetto, BSTR)
  ZSEPA_FIELD(TipoSequenzaRidSDD, ::zxEnumTipoSequenzaRidSDD)
  ZSEPA_FIELD(RiferimentoMandato, BSTR)
  ZSEPA_FIELD(DataMandato, DATE)
  ZSEPA_VARIANT_FIELD(FlagDatiMandatoVariati)
  ZSEPA_FIELD(PrecedenteIbanMandato, BSTR)
  ZSEPA_FIELD(PrecedenteRiferimentoMandato, BSTR)
  ZSEPA_VARIANT_FIELD(Clifor)
  ZSEPA_FIELD(NumeroDocumentoOrigine, BSTR)
  ZSEPA_VARIANT_FIELD(DataDocumento)
  ZSEPA_FIELD(NumeroCivico, BSTR)
  ZSEPA_FIELD(IndicatoreIndirizzo, ::zxEnumIndicatoreTipoIndirizzo)
  ZSEPA_FIELD(TitIBAN_RagioneSociale, BSTR)
  ZSEPA_FIELD(TitIBAN_Indirizzo, BSTR)
  ZSEPA_FIELD(TitIBAN_Cap, BSTR)
  ZSEPA_FIELD(TitIBAN_Citta, BSTR)
  ZSEPA_FIELD(TitIBAN_Provincia, BSTR)
  ZSEPA_FIELD(TitIBAN_Nazione, BSTR)
  ZSEPA_FIELD(TitIBAN_CodiceIso, BSTR)
  ZSEPA_FIELD(TitIBAN_PartitaIVA, BSTR)
  ZSEPA_FIELD(TitIBAN_Esistente, short)
  ZSEPA_FIELD(CodCG07, LONG)
  ZSEPA_FIELD(FlgPrsFis, short)
  ZSEPA_FIELD(CodiceFiscale, BSTR)
  ZSEPA_FIELD(TitIBAN_CodCG07, LONG)
  ZSEPA_FIELD(TitIBAN_FlgPrsFis, short)
  ZSEPA_FIELD(TitIBAN_CodiceFiscale, BSTR)
  ZSEPA_FIELD(FlagVariato, short)

 private:
  std::shared_ptr<CLSEP_TRANSFCREDIT> object_;
};

class InfoPag final : public Dual<_CLSEP_INFOPAG> {
 public:
  using Interface = _CLSEP_INFOPAG;
  explicit InfoPag(std::shared_ptr<CLSEP_INFOPAG> object)
      : object_(std::move(object)) {}
  const std::shared_ptr<CLSEP_INFOPAG>& object() const { return object_; }

  ZSEPA_FIELD(TipoDistinta, short)
  ZSEPA_FIELD(NumeroDistinta, LONG)
  ZSEPA_FIELD(AnnoDistinta, short)
  ZSEPA_FIELD(IBAN, BSTR)
  ZSEPA_FIELD(BicSwift, BSTR)
  ZSEPA_FIELD(FlagUrgente, VARIANT_BOOL)
  ZSEPA_FIELD(IndicatoreEsito, short)
  ZSEPA_VARIANT_FIELD(Abi)
  ZSEPA_VARIANT_FIELD(DataValuta)

  STDMETHODIMP AddTrasfer(_CLSEP_TRANSFCREDIT** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] { *result = New<TransfCredit>(object_->AddTrasfer()); });
  }
  STDMETHODIMP get_NumeroTrasferimenti(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->NumeroTrasferimenti(); });
  }
  STDMETHODIMP get_TotaleImportoTrasferimenti(double* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->TotaleImportoTrasferimenti(); });
  }
  STDMETHODIMP get_Trasferimento(LONG index,
                                 _CLSEP_TRANSFCREDIT** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run(
        [&] { *result = New<TransfCredit>(object_->Trasferimento(index)); });
  }
  STDMETHODIMP get_Count(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->Count(); });
  }

  ZSEPA_FIELD(ProgrBanca, LONG)
  ZSEPA_FIELD(IndicatoreLivelloServizio, ::zxEnumIndicatoreLivelloServizio)
  ZSEPA_FIELD(CreditorIdentifier, BSTR)
  ZSEPA_FIELD(TipoIncassoRidSDD, ::zxEnumTipoIncassoRidSDD)
  ZSEPA_FIELD(CodiceCUC, BSTR)
  ZSEPA_FIELD(IsMultipla, VARIANT_BOOL)
  ZSEPA_FIELD(IndicatoreTipoContatorePmtInf, ::zxEnumIndicatoreContatorePmtInf)

  STDMETHODIMP RecorsetTransazioni(IDispatch** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] { *result = NewAdoRecordset(*object_); });
  }

  ZSEPA_FIELD(IndicatoreAccumuloSpese, short)
  ZSEPA_FIELD(IndicatoreComposizioneIndirizzo,
              ::zxEnumIndicatoreIndirizzoBonifici)

 private:
  std::shared_ptr<CLSEP_INFOPAG> object_;
};

class StatusSca final : public Dual<_CLSEP_STATUSSCA> {
 public:
  using Interface = _CLSEP_STATUSSCA;
  explicit StatusSca(std::shared_ptr<CLSEP_STATUSSCA> object)
      : object_(std::move(object)) {}

  ZSEPA_FIELD(NumeroEffetto, BSTR)
  ZSEPA_FIELD(Importo, double)
  ZSEPA_FIELD(RejectReason, BSTR)
  ZSEPA_FIELD(IsInsoluto, VARIANT_BOOL)
  ZSEPA_VARIANT_FIELD(DataScadenza)

 private:
  std::shared_ptr<CLSEP_STATUSSCA> object_;
};

// Enumerates a snapshot of the items of a collection of rejected items.
class ItemEnumerator final : public IEnumVARIANT {
 public:
  explicit ItemEnumerator(std::vector<std::shared_ptr<CLSEP_STATUSSCA>> items,
                          size_t next = 0)
      : items_(std::move(items)), next_(next) {
    ++g_objects;
  }
  ~ItemEnumerator() { --g_objects; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumVARIANT) {
      *out = static_cast<IEnumVARIANT*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (out == nullptr) return E_POINTER;
    ULONG done = 0;
    try {
      for (; done < count && next_ < items_.size(); ++done, ++next_) {
        VariantInit(&out[done]);
        V_VT(&out[done]) = VT_DISPATCH;
        V_DISPATCH(&out[done]) = New<StatusSca>(items_[next_]);
      }
    } catch (...) {
      for (ULONG i = 0; i < done; ++i) VariantClear(&out[i]);
      if (fetched != nullptr) *fetched = 0;
      return E_OUTOFMEMORY;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    next_ = std::min(items_.size(), next_ + static_cast<size_t>(count));
    return next_ < items_.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    try {
      *out = new ItemEnumerator(items_, next_);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

 private:
  std::vector<std::shared_ptr<CLSEP_STATUSSCA>> items_;
  size_t next_;
  std::atomic<ULONG> references_{1};
};

// An index of the collection: a whole number is a position, anything else
// a key.
template <typename Collection>
const auto& ItemAt(const Collection& items, const VARIANT& index) {
  const Variant value = FromVariant(index);
  if (value.IsNumber()) return items.Item(value.ToInt32());
  return items.Item(value.ToText());
}

class Effetti final : public Dual<IEffetti> {
 public:
  using Interface = IEffetti;
  explicit Effetti(std::shared_ptr<CLSEP_OUTPUTSEPA> owner)
      : owner_(std::move(owner)) {}

  STDMETHODIMP get_Item(VARIANT index, _CLSEP_STATUSSCA** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run(
        [&] { *result = New<StatusSca>(ItemAt(owner_->Effetti(), index)); });
  }
  STDMETHODIMP get_Count(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = owner_->Effetti().Count(); });
  }
  STDMETHODIMP Remove(VARIANT index) override {
    return Run([&] {
      auto& items = owner_->Effetti();
      const Variant value = FromVariant(index);
      int32_t position = 0;
      if (value.IsNumber()) {
        position = value.ToInt32();
      } else {
        const auto& item = items.Item(value.ToText());
        for (const auto& candidate : items) {
          ++position;
          if (candidate == item) break;
        }
      }
      items.Remove(position);
    });
  }
  STDMETHODIMP get__NewEnum(IUnknown** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] {
      std::vector<std::shared_ptr<CLSEP_STATUSSCA>> items;
      for (const auto& item : owner_->Effetti()) items.push_back(item);
      *result = new ItemEnumerator(std::move(items));
    });
  }

 private:
  std::shared_ptr<CLSEP_OUTPUTSEPA> owner_;
};

class OutputSepa final : public Dual<_CLSEP_OUTPUTSEPA> {
 public:
  using Interface = _CLSEP_OUTPUTSEPA;
  explicit OutputSepa(std::shared_ptr<CLSEP_OUTPUTSEPA> object)
      : object_(std::move(object)) {}

  ZSEPA_FIELD(AnnoDistinta, short)
  ZSEPA_FIELD(NumeroDistinta, LONG)
  ZSEPA_FIELD(TipoDistinta, short)
  ZSEPA_FIELD(MessageQualifier, ::zxEnumEsitoMessageQualifier)
  ZSEPA_FIELD(RejectReason, BSTR)
  ZSEPA_FIELD(AbiBanca, BSTR)

  STDMETHODIMP AddEffetto(BSTR numero_effetto, BSTR reject_reason,
                          _CLSEP_STATUSSCA** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] {
      *result = New<StatusSca>(object_->AddEffetto(FromBstr(numero_effetto),
                                                   FromBstr(reject_reason)));
    });
  }
  STDMETHODIMP get_Effetti(IDispatch** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] { *result = New<Effetti>(object_); });
  }
  STDMETHODIMP get_NumeroInsoluti(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->NumeroInsoluti(); });
  }
  STDMETHODIMP get_NumeroRichiami(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->NumeroRichiami(); });
  }

 private:
  std::shared_ptr<CLSEP_OUTPUTSEPA> object_;
};

constexpr DISPID kActiveInterfaceId = 0x4003000b;
constexpr DISPID kAdoConnectionId = 0x4003000c;
constexpr DISPID kCodiceIsoLocalizzazioneId = 0x68030023;
constexpr DISPID kAddWithInfoPagId = 0x60030037;
constexpr DISPID kMsgIdToDistintaId = 0x60030019;

// The value a script passes, read through references.
Variant ValueArgument(const VARIANT& arg) { return FromVariant(arg); }

// Stores `value` into a by-reference argument (a script variable or a typed
// reference); a by-value argument keeps nothing.
void StoreArgument(VARIANT& arg, const Variant& value) {
  VARIANT* target = &arg;
  if (V_VT(target) == (VT_BYREF | VT_VARIANT)) {
    target = V_VARIANTREF(target);
    while (V_VT(target) == (VT_BYREF | VT_VARIANT)) {
      target = V_VARIANTREF(target);
    }
  } else if (V_VT(target) == (VT_BYREF | VT_I4)) {
    *V_I4REF(target) = value.ToInt32();
    return;
  } else if (V_VT(target) == (VT_BYREF | VT_I2)) {
    *V_I2REF(target) = value.ToInt16();
    return;
  } else {
    return;
  }
  VariantClear(target);
  ToVariant(value, target);
}

// The object a script passes, by value or by reference (a script variable
// arrives as a reference to a VARIANT); nullptr for Nothing. Raises 13 for
// anything that is not an object.
IUnknown* ObjectArgument(const VARIANT& arg) {
  const VARIANT* value = &arg;
  while (V_VT(value) == (VT_BYREF | VT_VARIANT)) value = V_VARIANTREF(value);
  switch (V_VT(value)) {
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return V_UNKNOWN(value);
    case VT_BYREF | VT_DISPATCH:
    case VT_BYREF | VT_UNKNOWN:
      return *V_UNKNOWNREF(value);
    default:
      rt::Raise(rt::kTypeMismatch);
  }
}

// The identifiers of IZaltFileProfile's members, which the builder's
// default IDispatch answers as well.
constexpr DISPID kProfileIdFirst = 0x60040000;
constexpr DISPID kProfileIdLast = 0x6004ffff;

// One finding as a line of ProfileFindingsText (see the IDL).
std::string FindingLine(const Finding& finding) {
  auto one_line = [](std::string text) {
    for (char& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
  };
  std::string line =
      finding.severity == Finding::Severity::kError ? "error" : "warning";
  line += ' ' + finding.code + ' ' + std::to_string(finding.block) + '/' +
          std::to_string(finding.transaction) + ' ' +
          (finding.field.empty() ? std::string("-") : finding.field);
  line += " [" + one_line(finding.value) + "] -> [" +
          one_line(finding.written) + "] " + one_line(finding.message);
  return line;
}

// IZaltFileProfile: the builder's profile and what its last SaveXML
// reported, over the core object that the builder's shell holds.
class ProfileMembers final : public Facet<IZaltFileProfile> {
 public:
  ProfileMembers(IUnknown* owner, CLSEP_FILESEPA& builder)
      : Facet(owner), builder_(builder) {}

  STDMETHODIMP get_Profile(BSTR* value) override {
    if (value == nullptr) return E_POINTER;
    return Run([&] { Out(std::string(ProfileName(builder_.Profile)), value); });
  }
  STDMETHODIMP put_Profile(BSTR value) override {
    return Run([&] {
      const std::string name = FromBstr(value);
      const std::optional<FileProfile> profile = ProfileNamed(name);
      if (!profile) {
        throw Error(rt::kInvalidArgument, "Profile",
                    "Profilo sconosciuto '" + name +
                        "': usare \"exact\" o \"bank-2026\"");
      }
      builder_.Profile = *profile;
    });
  }
  STDMETHODIMP get_ProfileFindingsCount(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    *result = static_cast<LONG>(builder_.ProfileFindings().size());
    return S_OK;
  }
  STDMETHODIMP get_ProfileFindingsText(BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] {
      std::string text;
      for (const Finding& finding : builder_.ProfileFindings()) {
        if (!text.empty()) text += "\r\n";
        text += FindingLine(finding);
      }
      Out(text, result);
    });
  }

 private:
  CLSEP_FILESEPA& builder_;
};

class FileSepa final : public Dual<_CLSEP_FILESEPA> {
 public:
  using Interface = _CLSEP_FILESEPA;
  using Base = Dual<_CLSEP_FILESEPA>;
  FileSepa()
      : object_(std::make_unique<CLSEP_FILESEPA>()),
        profile_(static_cast<_CLSEP_FILESEPA*>(this), *object_) {}
  ~FileSepa() override {
    // The builder lets go of the adapters before they go.
    object_->ActiveInterface = nullptr;
    object_->AdoConnection = nullptr;
  }

  STDMETHODIMP get_ActiveInterface(IDispatch** value) override {
    if (value == nullptr) return E_POINTER;
    *value = Ref<IDispatch>(framework_host_).Detach();
    return S_OK;
  }
  STDMETHODIMP putref_ActiveInterface(IDispatch* value) override {
    return Run([&] {
      auto adapter =
          value != nullptr ? NewFrameworkOverDispatch(value) : nullptr;
      object_->ActiveInterface = adapter.get();
      framework_ = std::move(adapter);
      framework_host_ = Ref<IDispatch>(value);
    });
  }
  STDMETHODIMP get_AdoConnection(IDispatch** value) override {
    if (value == nullptr) return E_POINTER;
    *value = Ref<IDispatch>(connection_host_).Detach();
    return S_OK;
  }
  STDMETHODIMP putref_AdoConnection(IDispatch* value) override {
    return Run([&] {
      auto adapter =
          value != nullptr ? NewConnectionOverDispatch(value) : nullptr;
      object_->AdoConnection = adapter.get();
      connection_ = std::move(adapter);
      connection_host_ = Ref<IDispatch>(value);
    });
  }

  ZSEPA_FIELD(TipoStrutturaFile, ::zxEnumStrutturaSepa)

  STDMETHODIMP get_Stato(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    *result = object_->Stato();
    return S_OK;
  }
  STDMETHODIMP get_Errore(BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { Out(object_->Errore(), result); });
  }
  STDMETHODIMP Initialize(VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { Out(object_->Initialize(), result); });
  }
  STDMETHODIMP get_NumeroTotaleTrasferimenti(LONG* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->NumeroTotaleTrasferimenti(); });
  }
  STDMETHODIMP get_ImportoTotaleTrasferimenti(double* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->ImportoTotaleTrasferimenti(); });
  }
  STDMETHODIMP Terminate() override {
    return Run([&] { object_->Terminate(); });
  }
  STDMETHODIMP get_MsgId(BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { Out(object_->MsgId(), result); });
  }
  STDMETHODIMP Add(short tipo, LONG numero, short anno,
                   _CLSEP_INFOPAG** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] {
      std::shared_ptr<CLSEP_INFOPAG> block = object_->Add(tipo, numero, anno);
      if (block) *result = New<InfoPag>(std::move(block));
    });
  }
  STDMETHODIMP SaveXML(BSTR path, VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { Out(object_->SaveXML(FromBstr(path)), result); });
  }

  ZSEPA_FIELD(FormatoFile, ::zxEnumFormatoFile)

  STDMETHODIMP MsgIdToDistinta(BSTR msg_id, LONG* numero, short anno,
                               short* tipo) override {
    if (numero == nullptr || tipo == nullptr) return E_POINTER;
    return Run([&] {
      int32_t numero_distinta = *numero;
      int16_t tipo_distinta = *tipo;
      object_->MsgIdToDistinta(FromBstr(msg_id), numero_distinta, anno,
                               tipo_distinta);
      *numero = numero_distinta;
      *tipo = tipo_distinta;
    });
  }
  STDMETHODIMP get_CpOutput(_CLSEP_OUTPUTSEPA** result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return Run([&] { *result = New<OutputSepa>(object_->CpOutput()); });
  }
  STDMETHODIMP LoadXml(BSTR path, VARIANT_BOOL solo_validazione,
                       VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] {
      Out(object_->LoadXml(FromBstr(path), solo_validazione != 0), result);
    });
  }
  STDMETHODIMP put_CodiceIsoLocalizzazione(BSTR* value) override {
    if (value == nullptr) return E_POINTER;
    return Run([&] { In(*value, object_->CodiceIsoLocalizzazione); });
  }
  STDMETHODIMP get_CodiceIsoLocalizzazione(BSTR* value) override {
    if (value == nullptr) return E_POINTER;
    return Run([&] { Out(object_->CodiceIsoLocalizzazione, value); });
  }

  ZSEPA_VARIANT_FIELD(DataCreazioneSupporto)

  STDMETHODIMP GetIndTipoStato(BSTR codice, short* result) override {
    if (result == nullptr) return E_POINTER;
    return Run([&] { *result = object_->GetIndTipoStato(FromBstr(codice)); });
  }
  STDMETHODIMP AddWithInfoPag(_CLSEP_INFOPAG** block) override {
    if (block == nullptr) return E_POINTER;
    return Run([&] {
      InfoPag* own = OwnObject<InfoPag>(*block);
      if (*block != nullptr && own == nullptr) rt::Raise(rt::kTypeMismatch);
      std::shared_ptr<CLSEP_INFOPAG> object =
          own != nullptr ? own->object() : nullptr;
      object_->AddWithInfoPag(object);
    });
  }

  // IZaltFileProfile is the builder's second interface. Its members are also
  // answered by name and identifier on the default IDispatch, which script
  // hosts use, although _CLSEP_FILESEPA's type information does not list
  // them.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out != nullptr && iid == __uuidof(IZaltFileProfile)) {
      *out = static_cast<IZaltFileProfile*>(&profile_);
      AddRef();
      return S_OK;
    }
    return Base::QueryInterface(iid, out);
  }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == __uuidof(IZaltFileProfile)
               ? S_OK
               : Base::InterfaceSupportsErrorInfo(iid);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override {
    const HRESULT hr = Base::GetIDsOfNames(iid, names, count, lcid, ids);
    if (hr != DISP_E_UNKNOWNNAME || count == 0 || ids[0] != DISPID_UNKNOWN) {
      return hr;
    }
    const HRESULT own = profile_.GetIDsOfNames(iid, names, count, lcid, ids);
    return SUCCEEDED(own) ? own : hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                      UINT* arg_error) override {
    if (id >= kProfileIdFirst && id <= kProfileIdLast) {
      return profile_.Invoke(id, iid, lcid, flags, params, result, exception,
                             arg_error);
    }
    return Base::Invoke(id, iid, lcid, flags, params, result, exception,
                        arg_error);
  }

 protected:
  // The framework object and the connection are also accepted by value
  // (an assignment without Set), and the localisation code, which the
  // library takes by reference, from any value that reads as text.
  bool InvokeOwn(DISPID id, WORD flags, DISPPARAMS* params, VARIANT*,
                 HRESULT& hr) override {
    if (id == kAddWithInfoPagId && (flags & DISPATCH_METHOD) &&
        params != nullptr && params->cArgs == 1 && params->cNamedArgs == 0) {
      // A script's variable arrives by reference to a VARIANT, which the
      // library's [in, out] object parameter would refuse.
      Ref<_CLSEP_INFOPAG> block;
      hr = Run([&] {
        IUnknown* object = ObjectArgument(params->rgvarg[0]);
        if (object != nullptr &&
            FAILED(object->QueryInterface(
                IID__CLSEP_INFOPAG,
                reinterpret_cast<void**>(block.Receive())))) {
          rt::Raise(rt::kTypeMismatch);
        }
      });
      if (SUCCEEDED(hr)) {
        _CLSEP_INFOPAG* pointer = block.get();
        hr = AddWithInfoPag(&pointer);
      }
      return true;
    }
    if (id == kMsgIdToDistintaId && (flags & DISPATCH_METHOD) &&
        params != nullptr && params->cArgs == 4 && params->cNamedArgs == 0) {
      // Script variables for the two by-reference integers arrive as
      // references to VARIANTs; the result is written back into them.
      VARIANT* args = params->rgvarg;  // last argument first
      hr = Run([&] {
        int32_t numero = ValueArgument(args[2]).ToInt32();
        int16_t tipo = ValueArgument(args[0]).ToInt16();
        object_->MsgIdToDistinta(ValueArgument(args[3]).ToText(), numero,
                                 ValueArgument(args[1]).ToInt16(), tipo);
        StoreArgument(args[2], Variant(numero));
        StoreArgument(args[0], Variant(tipo));
      });
      return true;
    }
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    if (!put || params == nullptr || params->cArgs != 1) return false;
    const VARIANT& arg = params->rgvarg[0];
    if (id == kActiveInterfaceId || id == kAdoConnectionId) {
      VARIANT object;
      VariantInit(&object);
      hr = VariantChangeType(&object, const_cast<VARIANT*>(&arg), 0,
                             VT_DISPATCH);
      if (FAILED(hr)) {
        hr = SetError(__uuidof(Interface), rt::kTypeMismatch, "ZALT_FILESEPA",
                      "Type mismatch");
        return true;
      }
      hr = id == kActiveInterfaceId
               ? putref_ActiveInterface(V_DISPATCH(&object))
               : putref_AdoConnection(V_DISPATCH(&object));
      VariantClear(&object);
      return true;
    }
    if (id == kCodiceIsoLocalizzazioneId) {
      VARIANT text;
      VariantInit(&text);
      hr = VariantChangeType(&text, const_cast<VARIANT*>(&arg), 0, VT_BSTR);
      if (FAILED(hr)) {
        hr = SetError(__uuidof(Interface), rt::kTypeMismatch, "ZALT_FILESEPA",
                      "Type mismatch");
        return true;
      }
      hr = put_CodiceIsoLocalizzazione(&V_BSTR(&text));
      VariantClear(&text);
      return true;
    }
    return false;
  }

 private:
  // Declared before the builder, so that they outlive it.
  Ref<IDispatch> framework_host_;
  Ref<IDispatch> connection_host_;
  std::unique_ptr<framework::FrameworkObject> framework_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<CLSEP_FILESEPA> object_;
  ProfileMembers profile_;  // over *object_, so declared after it
};

}  // namespace

IDispatch* NewFileSepa() { return New<FileSepa>(); }
IDispatch* NewInfoPag() {
  return New<InfoPag>(std::make_shared<CLSEP_INFOPAG>());
}
IDispatch* NewTransfCredit() {
  return New<TransfCredit>(std::make_shared<CLSEP_TRANSFCREDIT>());
}
IDispatch* NewRifSca() { return New<RifSca>(std::make_shared<CLSEP_RIFSCA>()); }
IDispatch* NewOutputSepa() {
  return New<OutputSepa>(std::make_shared<CLSEP_OUTPUTSEPA>());
}
IDispatch* NewStatusSca() {
  return New<StatusSca>(std::make_shared<CLSEP_STATUSSCA>());
}

}  // namespace zsepa::com
