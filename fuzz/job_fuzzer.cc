// Reads arbitrary bytes as a job file and as a company file, in one pass
// and by parsing the whole value first. Every input must end in a plan or
// in a JobError naming the fault, the same both ways; any other exception
// (it ends the program), a crash, a sanitizer's report, a slow input or two
// readings that disagree is a fault of the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tools/job.h"

namespace {

using zsepa::cli::JobError;

// The fault of `read` as code and message, or nothing when it succeeds.
std::optional<std::string> FaultOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const JobError& error) {
    return std::to_string(error.code()) + " " + error.what();
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace cli = zsepa::cli;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string name = "job.json";
  const auto job_in_one_pass = FaultOf([&] { cli::ParseJobText(text, name); });
  const auto job_from_value =
      FaultOf([&] { cli::ParseJob(cli::ParseJsonText(text, name)); });
  const auto company_in_one_pass =
      FaultOf([&] { cli::ParseCompanyText(text, name); });
  const auto company_from_value =
      FaultOf([&] { cli::ParseCompany(cli::ParseJsonText(text, name), ""); });
  if (job_in_one_pass != job_from_value ||
      company_in_one_pass != company_from_value) {
    std::abort();
  }
  return 0;
}
