// Reads arbitrary bytes as a job file and as a company file. Every input
// must end in a plan or in a JobError naming the fault; any other exception
// (it ends the program), a crash, a sanitizer's report or a slow input is a
// fault of the reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zsepa::cli::JobError;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const nlohmann::ordered_json value =
        zsepa::cli::ParseJsonText(text, "job.json");
    try {
      zsepa::cli::ParseJob(value);
    } catch (const JobError&) {
    }
    try {
      zsepa::cli::ParseCompany(value, "");
    } catch (const JobError&) {
    }
  } catch (const JobError&) {
  }
  return 0;
}
