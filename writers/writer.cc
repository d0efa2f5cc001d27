#include "writers/writer.h"

#include <cmath>
#include <limits>

#include "base/required.h"
#include "writers/cbi_credit_transfer.h"
#include "writers/cbi_direct_debit.h"
#include "writers/iso_credit_transfer.h"
#include "zsepa/error.h"

namespace zsepa::writers {

const BlockList& WriteContext::Blocks() const { return Required(blocks); }

const framework::CurrentCompany& WriteContext::Company() const {
  return db::CompanyOf(framework);
}

db::Connection& WriteContext::Connection() const {
  return Required(connection);
}

db::Lookups& WriteContext::Lookups() const { return Required(lookups); }

framework::XmlFileService& WriteContext::Files() const {
  return Required(files);
}

FileKind KindOf(zxEnumFormatoFile FormatoFile,
                std::string_view CodiceIsoLocalizzazione) {
  switch (FormatoFile) {
    case zxEnumFormatoFile::BonificoSEPA:
    case zxEnumFormatoFile::BonificoEsteroXML:
      if (CodiceIsoLocalizzazione == "FR") return FileKind::kIsoCreditTransfer;
      return FormatoFile == zxEnumFormatoFile::BonificoSEPA
                 ? FileKind::kCbiSepaCreditTransfer
                 : FileKind::kCbiCrossBorderTransfer;
    default:
      return FileKind::kCbiDirectDebit;
  }
}

const Writer& SelectWriter(FileKind kind) {
  static const CbiCreditTransferWriter cbi;
  static const IsoCreditTransferWriter iso;
  static const CbiDirectDebitWriter direct_debit;
  switch (kind) {
    case FileKind::kCbiSepaCreditTransfer:
    case FileKind::kCbiCrossBorderTransfer:
      return cbi;
    case FileKind::kIsoCreditTransfer:
      return iso;
    case FileKind::kCbiDirectDebit:
      break;
  }
  return direct_debit;
}

int32_t NumeroTotaleTrasferimenti(const BlockList& blocks) {
  int64_t total = 0;
  for (const auto& block : blocks) {
    total += block->NumeroTrasferimenti();
    if (total > std::numeric_limits<int32_t>::max()) rt::Raise(rt::kOverflow);
  }
  return static_cast<int32_t>(total);
}

double ImportoTotaleTrasferimenti(const BlockList& blocks) {
  double total = 0;
  for (const auto& block : blocks) {
    total += block->TotaleImportoTrasferimenti();
  }
  if (!std::isfinite(total)) rt::Raise(rt::kOverflow);
  return total;
}

}  // namespace zsepa::writers
