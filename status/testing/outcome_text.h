#ifndef ZSEPA_STATUS_TESTING_OUTCOME_TEXT_H_
#define ZSEPA_STATUS_TESTING_OUTCOME_TEXT_H_

#include <string>

#include "zsepa/clsep_outputsepa.h"

namespace zsepa::testing {

// The items of an outcome as one line each ended by ";": identifier, amount,
// reason, "I" (unpaid) or "R" (recalled), and the due date as "empty",
// "null" or the date.
inline std::string ItemsText(const CLSEP_OUTPUTSEPA& output) {
  std::string text;
  for (const auto& item : output.Effetti()) {
    text += item->NumeroEffetto + "|" + std::to_string(item->Importo) + "|" +
            item->RejectReason + "|" + (item->IsInsoluto ? "I" : "R") + "|" +
            (item->DataScadenza.IsEmpty()  ? "empty"
             : item->DataScadenza.IsNull() ? "null"
                                           : item->DataScadenza.ToText()) +
            ";";
  }
  return text;
}

}  // namespace zsepa::testing

#endif  // ZSEPA_STATUS_TESTING_OUTCOME_TEXT_H_
