#include "zsepa/clsep_filesepa.h"

#include <optional>

#include "base/last_error.h"
#include "base/required.h"
#include "db/batch_loading.h"
#include "db/lookups.h"
#include "format/msg_id.h"
#include "model/builder_blocks.h"
#include "status/status_reader.h"
#include "writers/writer.h"
#include "zsepa/error.h"

namespace zsepa {

// What the builder owns besides its public fields. The lookups see the
// builder's borrowed pointers as they are at the time of each call.
struct CLSEP_FILESEPA::Impl {
  Impl(CLSEP_FILESEPA& builder,
       std::unique_ptr<framework::XmlFileService> file_service)
      : files(std::move(file_service)),
        output(std::make_shared<CLSEP_OUTPUTSEPA>()),
        lookups(builder.AdoConnection, builder.ActiveInterface, last_error) {}

  const BlockList& Blocks() const {
    return Required(blocks ? &*blocks : nullptr);
  }
  BlockList& Blocks() { return Required(blocks ? &*blocks : nullptr); }

  LastError last_error;
  std::unique_ptr<framework::XmlFileService> files;
  std::shared_ptr<CLSEP_OUTPUTSEPA> output;
  std::optional<BlockList> blocks;
  db::Lookups lookups;
  std::vector<Finding> profile_findings;
};

CLSEP_FILESEPA::CLSEP_FILESEPA()
    : CLSEP_FILESEPA(framework::NewDefaultXmlFileService()) {}

CLSEP_FILESEPA::CLSEP_FILESEPA(std::unique_ptr<framework::XmlFileService> files)
    : DataCreazioneSupporto(Date::Today()),
      impl_(std::make_unique<Impl>(*this, std::move(files))) {}

CLSEP_FILESEPA::~CLSEP_FILESEPA() = default;

const BlockList* BlocksOf(const CLSEP_FILESEPA& builder) {
  return builder.impl_->blocks ? &*builder.impl_->blocks : nullptr;
}

int32_t CLSEP_FILESEPA::Stato() const { return impl_->last_error.stato; }
const std::string& CLSEP_FILESEPA::Errore() const {
  return impl_->last_error.errore;
}
const std::shared_ptr<CLSEP_OUTPUTSEPA>& CLSEP_FILESEPA::CpOutput() const {
  return impl_->output;
}

bool CLSEP_FILESEPA::Initialize() {
  LastError& last_error = impl_->last_error;
  if (ActiveInterface == nullptr) {
    last_error = {codes::kNoActiveInterface, "Impostare l'ActiveInterface()"};
    throw Error(last_error.stato, "Initialize()", last_error.errore);
  }
  if (AdoConnection == nullptr) {
    last_error = {codes::kNoAdoConnection, "Impostare l'AdoConnection()"};
    throw Error(last_error.stato, "Initialize()", last_error.errore);
  }
  impl_->blocks.emplace();
  impl_->lookups.ResetCache();
  return false;
}

void CLSEP_FILESEPA::Terminate() {
  impl_->blocks.reset();
  impl_->lookups.DropCache();
}

int32_t CLSEP_FILESEPA::NumeroTotaleTrasferimenti() const {
  return writers::NumeroTotaleTrasferimenti(impl_->Blocks());
}

double CLSEP_FILESEPA::ImportoTotaleTrasferimenti() const {
  return writers::ImportoTotaleTrasferimenti(impl_->Blocks());
}

std::string CLSEP_FILESEPA::MsgId() const { return MsgIdOf(impl_->Blocks()); }

void CLSEP_FILESEPA::MsgIdToDistinta(const std::string& MsgId,
                                     int32_t& NumeroDistinta,
                                     int16_t AnnoDistinta,
                                     int16_t& TipoDistinta) const {
  // The decoded year goes into this copy only: the caller's stays as it was.
  DecodificaMsgId(MsgId, NumeroDistinta, AnnoDistinta, TipoDistinta);
}

std::shared_ptr<CLSEP_INFOPAG> CLSEP_FILESEPA::Add(int16_t TipoDistinta,
                                                   int32_t NumeroDistinta,
                                                   int16_t AnnoDistinta) {
  std::shared_ptr<CLSEP_INFOPAG> added;
  // The block list is touched only once the whole block was read.
  impl_->last_error.Guarded([&] {
    const Variant ditta = db::CompanyOf(ActiveInterface).CodiceDitta();
    auto block = db::LoadBatch(Required(AdoConnection), ditta, FormatoFile,
                               CodiceIsoLocalizzazione, TipoDistinta,
                               NumeroDistinta, AnnoDistinta);
    impl_->Blocks().Add(block);
    added = std::move(block);
  });
  return added;
}

void CLSEP_FILESEPA::AddWithInfoPag(
    std::shared_ptr<CLSEP_INFOPAG>& objInfoPag) {
  impl_->last_error.Guarded([&] {
    BlockList& blocks = impl_->Blocks();
    // A missing block is refused here, so that the list never holds one
    // that MsgId, the totals or a writer would dereference.
    if (!objInfoPag) rt::Raise(rt::kObjectNotSet);
    blocks.Add(objInfoPag);
    objInfoPag = blocks.Item(blocks.Count());
  });
}

bool CLSEP_FILESEPA::SaveXML(const std::string& PercorsoFile) {
  writers::WriteContext context;
  context.TipoStrutturaFile = TipoStrutturaFile;
  context.DataCreazioneSupporto = DataCreazioneSupporto;
  context.FormatoFile = FormatoFile;
  context.CodiceIsoLocalizzazione = CodiceIsoLocalizzazione;
  context.profile = Profile;
  impl_->profile_findings.clear();
  context.findings = &impl_->profile_findings;
  context.blocks = impl_->blocks ? &*impl_->blocks : nullptr;
  context.framework = ActiveInterface;
  context.connection = AdoConnection;
  context.lookups = &impl_->lookups;
  context.files = impl_->files.get();
  return impl_->last_error.Guarded([&] {
    // The lookups of one file see one state of the database.
    const db::ReadScope reads(AdoConnection);
    writers::SelectWriter(writers::KindOf(FormatoFile, CodiceIsoLocalizzazione))
        .Write(context, PercorsoFile);
  });
}

const std::vector<Finding>& CLSEP_FILESEPA::ProfileFindings() const {
  return impl_->profile_findings;
}

bool CLSEP_FILESEPA::LoadXml(const std::string& PercorsoFile,
                             bool FlagSoloValidazione) {
  return status::ReadStatusReport(
      {impl_->last_error, *impl_->output, ActiveInterface, AdoConnection,
       impl_->lookups, *impl_->files},
      PercorsoFile, FlagSoloValidazione);
}

int16_t CLSEP_FILESEPA::GetIndTipoStato(const std::string& fstrCodiceStato) {
  return impl_->lookups.GetIndTipoStato(fstrCodiceStato);
}

}  // namespace zsepa
