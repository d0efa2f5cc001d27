#include "zsepa/clsep_filesepa.h"

#include <cmath>
#include <limits>
#include <new>

#include "format/msg_id.h"
#include "zsepa/error.h"

namespace zsepa {
namespace {

// Code reported for failures that carry no code of their own (E_FAIL).
constexpr int32_t kUnspecifiedFailure = static_cast<int32_t>(0x80004005);
constexpr int32_t kOutOfMemory = 7;

}  // namespace

CLSEP_FILESEPA::CLSEP_FILESEPA()
    : CLSEP_FILESEPA(framework::NewDefaultXmlFileService()) {}

CLSEP_FILESEPA::CLSEP_FILESEPA(std::unique_ptr<framework::XmlFileService> files)
    : DataCreazioneSupporto(Date::Today()),
      files_(std::move(files)),
      output_(std::make_shared<CLSEP_OUTPUTSEPA>()) {}

CLSEP_FILESEPA::~CLSEP_FILESEPA() = default;

void CLSEP_FILESEPA::RecordFailure() {
  try {
    throw;
  } catch (const Error& error) {
    stato_ = error.Code();
    errore_ = error.Description();
  } catch (const std::bad_alloc&) {
    stato_ = kOutOfMemory;
    errore_ = "Out of memory";
  } catch (const std::exception& error) {
    stato_ = kUnspecifiedFailure;
    errore_ = error.what();
  } catch (...) {
    stato_ = kUnspecifiedFailure;
    errore_ = "Errore non previsto";
  }
}

bool CLSEP_FILESEPA::Initialize() {
  if (ActiveInterface == nullptr) {
    stato_ = codes::kNoActiveInterface;
    errore_ = "Impostare l'ActiveInterface()";
    throw Error(stato_, "Initialize()", errore_);
  }
  if (AdoConnection == nullptr) {
    stato_ = codes::kNoAdoConnection;
    errore_ = "Impostare l'AdoConnection()";
    throw Error(stato_, "Initialize()", errore_);
  }
  blocks_.emplace();
  state_types_.emplace();
  return false;
}

void CLSEP_FILESEPA::Terminate() {
  blocks_.reset();
  state_types_.reset();
}

const BlockList& CLSEP_FILESEPA::Blocks() const {
  if (!blocks_) rt::Raise(rt::kObjectNotSet);
  return *blocks_;
}

BlockList& CLSEP_FILESEPA::Blocks() {
  if (!blocks_) rt::Raise(rt::kObjectNotSet);
  return *blocks_;
}

const framework::CurrentCompany& CLSEP_FILESEPA::Company() const {
  if (ActiveInterface == nullptr) rt::Raise(rt::kObjectNotSet);
  return ActiveInterface->ContestoLavoro().DittaCorrente();
}

db::Connection& CLSEP_FILESEPA::Connection() const {
  if (AdoConnection == nullptr) rt::Raise(rt::kObjectNotSet);
  return *AdoConnection;
}

int32_t CLSEP_FILESEPA::NumeroTotaleTrasferimenti() const {
  int64_t total = 0;
  for (const auto& block : Blocks()) {
    total += block->NumeroTrasferimenti();
    if (total > std::numeric_limits<int32_t>::max()) rt::Raise(rt::kOverflow);
  }
  return static_cast<int32_t>(total);
}

double CLSEP_FILESEPA::ImportoTotaleTrasferimenti() const {
  double total = 0;
  for (const auto& block : Blocks()) {
    total += block->TotaleImportoTrasferimenti();
  }
  if (!std::isfinite(total)) rt::Raise(rt::kOverflow);
  return total;
}

std::string CLSEP_FILESEPA::MsgId() const {
  const BlockList& blocks = Blocks();
  if (blocks.Count() == 0) return "";
  const auto& first = blocks.Item(1);
  return ComposeMsgId(first->NumeroDistinta, first->AnnoDistinta,
                      first->TipoDistinta);
}

void CLSEP_FILESEPA::MsgIdToDistinta(const std::string& MsgId,
                                     int32_t& NumeroDistinta,
                                     int16_t AnnoDistinta,
                                     int16_t& TipoDistinta) const {
  // The decoded year goes into this copy only: the caller's stays as it was.
  DecodificaMsgId(MsgId, NumeroDistinta, AnnoDistinta, TipoDistinta);
}

void CLSEP_FILESEPA::AddWithInfoPag(
    std::shared_ptr<CLSEP_INFOPAG>& objInfoPag) {
  Guarded([&] {
    BlockList& blocks = Blocks();
    // A missing block is refused here, so that the list never holds one
    // that MsgId, the totals or a writer would dereference.
    if (!objInfoPag) rt::Raise(rt::kObjectNotSet);
    blocks.Add(objInfoPag);
    objInfoPag = blocks.Item(blocks.Count());
  });
}

bool CLSEP_FILESEPA::SaveXML(const std::string& PercorsoFile) {
  switch (FormatoFile) {
    case zxEnumFormatoFile::BonificoSEPA:
    case zxEnumFormatoFile::BonificoEsteroXML:
      return CodiceIsoLocalizzazione == "FR" ? ScriviXmlIso(PercorsoFile)
                                             : ScriviXmlCbi(PercorsoFile);
    default:
      return ScriviXmlSDD(PercorsoFile);
  }
}

}  // namespace zsepa
