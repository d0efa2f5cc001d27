#ifndef ZSEPA_STATUS_REPORT_CHECKS_H_
#define ZSEPA_STATUS_REPORT_CHECKS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "zsepa/connection.h"
#include "zsepa/framework.h"

namespace zsepa::status {

// Checks of a direct-debit status report beyond what LoadXml looks at: what
// banks get wrong. They read the report on their own and never touch the
// builder, its outcome or its last error, so a host may run them or not
// without any change to what LoadXml gives.

enum class Severity { kError, kWarning, kInfo };

// "error", "warning" or "info".
const char* SeverityName(Severity severity);

// One thing found in a report. `code` is stable (tools and hosts may match
// on it); `path` names the element, from the document's root element, with
// the qualified names as the report writes them and a 1-based position where
// siblings share a name ("/CBISDDStsRptLogMsg/OrgnlPmtInfAndSts[2]/
// TxInfAndSts/OrgnlEndToEndId"); `line` is the element's line in the file;
// `message` is one line of text.
struct Finding {
  std::string code;
  Severity severity = Severity::kError;
  std::string path;
  int64_t line = 0;
  std::string message;
};

// The batch that LoadXml decoded from the report's OrgnlMsgId, and where
// its items are. Without a connection or a framework object, or with a
// number or year that is not positive, the items are not looked up and the
// checks that need them are left out.
struct ReportBatch {
  db::Connection* connection = nullptr;
  const framework::FrameworkObject* framework = nullptr;
  int32_t NumeroDistinta = 0;
  int16_t AnnoDistinta = 0;
};

// Reads the report `path` (strictly, as LoadXml reads it: a regular file of
// at most 256 MiB, no network, no external entity or DTD, entity text
// bounded) and gives its findings in document order, the total of the bank
// charges last:
//   group-status-missing, group-status-mismatch: GrpSts against MsgQual
//     (RJCT when the whole batch was rejected, qualifier 6; PART when some
//     items were, qualifier 8);
//   count-mismatch, sum-mismatch: the rejected items that a qualifier 8 report
//     lists, counted and summed, against NbOfTxsPerSts/DtldNbOfTxs
//     and DtldCtrlSum (every NbOfTxsPerSts without a DtldSts or with RJCT);
//   count-over-original, sum-over-original: the same beyond OrgnlNbOfTxs
//     and OrgnlCtrlSum;
//   total-unreadable, amount-unreadable: a declared total or an item's
//     amount that is not a number (the sums are then not compared);
//   duplicate-end-to-end-id: an identifier that an earlier item has, case
//     aside, as the outcome's keys compare;
//   batch-not-identified, batch-without-items, unknown-item,
//     items-unavailable: the items checked against the batch in the
//     database (the statement LoadXml runs for a wholly rejected batch; an
//     identifier matches an item number as stored or as the direct-debit
//     file writes it);
//   bank-charges, bank-charges-total (info): ChrgsInf/Amt of each item and
//     their total, by currency.
// Elements are found as LoadXml finds them (by the ending of their qualified
// name). A report that does not load or has no root, group status or group
// header gives no findings: LoadXml reports those. Never raises but for
// memory exhaustion; a database failure becomes an items-unavailable
// finding.
std::vector<Finding> CheckStatusReport(const std::string& path,
                                       const ReportBatch& batch);

// Whether any finding has error severity.
bool HasErrors(const std::vector<Finding>& findings);

}  // namespace zsepa::status

#endif  // ZSEPA_STATUS_REPORT_CHECKS_H_
