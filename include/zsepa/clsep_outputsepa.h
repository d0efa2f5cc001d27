#ifndef ZSEPA_CLSEP_OUTPUTSEPA_H_
#define ZSEPA_CLSEP_OUTPUTSEPA_H_

#include <cstdint>
#include <memory>
#include <string>

#include "zsepa/collection.h"
#include "zsepa/enums.h"
#include "zsepa/variant.h"

namespace zsepa {

// One rejected item of a direct-debit status report.
class CLSEP_STATUSSCA {
 public:
  std::string NumeroEffetto;
  double Importo = 0;
  std::string RejectReason;
  // True: unpaid item (insoluto); False: recalled item (richiamo). An item
  // that nobody decides about counts as unpaid.
  bool IsInsoluto = true;
  // Empty when never set, Null when the report gives no collection date.
  Variant DataScadenza;
};

// The outcome of reading a status report: batch identity, qualifier, bank code
// and the rejected items, keyed by NumeroEffetto followed by "E".
class CLSEP_OUTPUTSEPA {
 public:
  int16_t AnnoDistinta = 0;
  int32_t NumeroDistinta = 0;
  int16_t TipoDistinta = 0;
  zxEnumEsitoMessageQualifier MessageQualifier{};  // 0: no member
  std::string RejectReason;
  std::string AbiBanca;

  // Appends a new item under the key NumeroEffetto + "E" and returns it.
  // Raises run-time error 457 when the key is already present (keys compare
  // without regard to case); nothing is added then.
  std::shared_ptr<CLSEP_STATUSSCA> AddEffetto(const std::string& NumeroEffetto,
                                              const std::string& RejectReason);
  // The live collection of items.
  Collection<std::shared_ptr<CLSEP_STATUSSCA>>& Effetti() { return effetti_; }
  const Collection<std::shared_ptr<CLSEP_STATUSSCA>>& Effetti() const {
    return effetti_;
  }
  // Counted anew on every call.
  int32_t NumeroInsoluti() const;
  int32_t NumeroRichiami() const;

 private:
  Collection<std::shared_ptr<CLSEP_STATUSSCA>> effetti_;
};

}  // namespace zsepa

#endif  // ZSEPA_CLSEP_OUTPUTSEPA_H_
