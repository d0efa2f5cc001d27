#ifndef ZSEPA_STATUS_STATUS_READER_H_
#define ZSEPA_STATUS_STATUS_READER_H_

#include <string>
#include <string_view>

#include "base/last_error.h"
#include "db/lookups.h"
#include "zsepa/clsep_outputsepa.h"
#include "zsepa/connection.h"
#include "zsepa/date.h"
#include "zsepa/framework.h"
#include "zsepa/xml_file_service.h"

namespace zsepa::status {

// What the reader may use: the builder's last error and outcome object, the
// borrowed host objects, the lookups and the file service.
struct ReadContext {
  LastError& last_error;
  CLSEP_OUTPUTSEPA& output;
  const framework::FrameworkObject* framework;
  db::Connection* connection;
  db::Lookups& lookups;
  framework::XmlFileService& files;
};

// LoadXml: reads the direct-debit status report `PercorsoFile` through
// context.files and fills context.output with the batch identity, the
// qualifier, the bank code and one item per rejected item (all items of the
// batch from the database when the whole batch was rejected, qualifier 6;
// the report's transactions when it was partly rejected, qualifier 8).
//
// Clears the last error's text at entry (never its code). True when a whole
// report was processed (code 70 may then stand for transactions without an
// identifier, which were skipped); False on every failure, with the code and
// text in context.last_error, and always False with FlagSoloValidazione,
// which stops after the header (an empty text then means a valid header).
// Never raises. The outcome object is only added to: header fields and items
// set before a failure stay.
bool ReadStatusReport(const ReadContext& context,
                      const std::string& PercorsoFile,
                      bool FlagSoloValidazione);

// The date of a "YYYY-MM-DD" text: characters 1-4, 6-7 and 9-10 each
// converted to a 16-bit whole number and composed with months and days
// rolling over (month 13 of 2024 is January 2025). Raises 13 for a piece
// that is not a number and 5 when the date falls outside the years 100 to
// 9999.
Date DataDaTestoIso(std::string_view text);

}  // namespace zsepa::status

#endif  // ZSEPA_STATUS_STATUS_READER_H_
