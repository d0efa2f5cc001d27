#ifndef ZSEPA_STATUS_STATUS_READER_H_
#define ZSEPA_STATUS_STATUS_READER_H_

#include <string>

#include "base/last_error.h"
#include "db/lookups.h"
#include "zsepa/clsep_outputsepa.h"
#include "zsepa/connection.h"
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

// LoadXml: reads the direct-debit status report `PercorsoFile` into
// context.output. True when a whole report was processed; failures are
// recorded in context.last_error. Not part of this build yet: it records
// codes::kWriterUnavailable and returns False.
bool ReadStatusReport(const ReadContext& context,
                      const std::string& PercorsoFile,
                      bool FlagSoloValidazione);

}  // namespace zsepa::status

#endif  // ZSEPA_STATUS_STATUS_READER_H_
