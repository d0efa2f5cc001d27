// Reads arbitrary bytes as a direct-debit status report through LoadXml, on
// the in-memory demo company and a scripted connection (batch 12 of 2024
// with two items; MD06 a recall). Every input must end in True or False with
// Stato/Errore; a crash, a sanitizer's report, a slow input, a recordset
// left open or counts that disagree with the items are faults of the reader.
// The opt-in report checks then read the same bytes against the same batch.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "db/testing/fake_builder.h"
#include "db/testing/fake_connection.h"
#include "status/report_checks.h"
#include "zsepa/clsep_filesepa.h"

namespace {

using zsepa::db::testing::FakeResult;

// The report file of this process, in a private temporary folder that goes
// when the process ends.
class ReportFolder {
 public:
  ReportFolder() {
    folder_ =
        (std::filesystem::temp_directory_path() / "zsepa_fuzz_XXXXXX").string();
    if (::mkdtemp(folder_.data()) == nullptr) abort();
  }
  ~ReportFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Report() const { return folder_ + "/report.xml"; }

 private:
  std::string folder_;
};

const std::string& ReportPath() {
  static const ReportFolder folder;
  static const std::string path = folder.Report();
  return path;
}

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ReportPath();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data),
               static_cast<std::streamsize>(size));
  }
  zsepa::db::testing::FakeBuilder fake;
  fake.connection
      .On("FROM EF09_DISTINTE",
          FakeResult::Rows(
              {"EF01_NUMEFF", "EF01_IMPEFFNETPREV_S"},
              {{"2024/0001", 120.5}, {"2024/0002", zsepa::Variant::Null()}}))
      .On("CG6G_CODICE='MD06'",
          FakeResult::Scalar("CG6G_INDTIPOMOV", int32_t{2}));
  zsepa::CLSEP_FILESEPA& builder = fake.builder;

  const bool header_only = builder.LoadXml(path, true);
  Check(!header_only);
  const bool read = builder.LoadXml(path, false);
  // A whole report gives True with the code left alone or 70.
  Check(!read || builder.Stato() == 0 || builder.Stato() == 70);
  Check(read || builder.Stato() != 0);
  const zsepa::CLSEP_OUTPUTSEPA& output = *builder.CpOutput();
  Check(output.NumeroInsoluti() + output.NumeroRichiami() ==
        output.Effetti().Count());
  Check(fake.connection.open_recordsets() == 0);

  const zsepa::status::ReportBatch batch{&fake.connection, &fake.framework,
                                         output.NumeroDistinta,
                                         output.AnnoDistinta};
  for (const auto& finding : zsepa::status::CheckStatusReport(path, batch)) {
    Check(!finding.code.empty() && !finding.message.empty());
    Check(finding.message.find('\n') == std::string::npos);
  }
  Check(fake.connection.open_recordsets() == 0);
  return 0;
}
