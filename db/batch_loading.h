#ifndef ZSEPA_DB_BATCH_LOADING_H_
#define ZSEPA_DB_BATCH_LOADING_H_

#include <cstdint>
#include <memory>
#include <string>

#include "zsepa/clsep_infopag.h"
#include "zsepa/connection.h"
#include "zsepa/enums.h"
#include "zsepa/variant.h"

namespace zsepa::db {

// Reads batch (TipoDistinta, NumeroDistinta, AnnoDistinta) of company
// `CodiceDitta` with the statement that the file format and localisation
// select, and returns a new block with the batch key and the bank fields.
// Raises codes::kBatchNotFound ("Distinta non trovata") without a row and
// the database's error on failure; the recordset is closed either way.
std::shared_ptr<CLSEP_INFOPAG> LoadBatch(
    Connection& connection, const Variant& CodiceDitta,
    zxEnumFormatoFile FormatoFile, const std::string& CodiceIsoLocalizzazione,
    int16_t TipoDistinta, int32_t NumeroDistinta, int16_t AnnoDistinta);

}  // namespace zsepa::db

#endif  // ZSEPA_DB_BATCH_LOADING_H_
