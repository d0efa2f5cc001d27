// zsepa check: runs a job up to the point of saving and prints what the
// pre-flight checks find.
#include <algorithm>
#include <iomanip>
#include <iostream>
#include <string>
#include <utility>

#include "base/utf8.h"
#include "tools/commands.h"

namespace zsepa::cli {
namespace {

const char* SeverityName(Finding::Severity severity) {
  return severity == Finding::Severity::kError ? "error" : "warning";
}

// "block 1, transaction 3, reference 1", or "file".
std::string Where(const Finding& finding) {
  if (finding.block == 0) return "file";
  std::string where = "block " + std::to_string(finding.block);
  if (finding.transaction != 0) {
    where += ", transaction " + std::to_string(finding.transaction);
  }
  if (finding.reference != 0) {
    where += ", reference " + std::to_string(finding.reference);
  }
  return where;
}

// A value as a table shows it: quoted, cut to 40 characters, control
// characters escaped.
std::string Shown(const std::string& value) {
  std::string shown;
  const bool cut = utf8::Length(value) > 40;
  for (const char c : cut ? utf8::Left(value, 39) : value) {
    if (static_cast<unsigned char>(c) < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += std::string("\\x") + kHex[(c >> 4) & 15] + kHex[c & 15];
    } else {
      shown += c;
    }
  }
  return "\"" + shown + (cut ? "\xE2\x80\xA6\"" : "\"");
}

}  // namespace

void PrintFindings(const std::vector<Finding>& findings, std::ostream& out) {
  size_t code_width = 4, where_width = 5;
  for (const Finding& finding : findings) {
    code_width = std::max(code_width, finding.code.size());
    where_width = std::max(where_width, Where(finding).size());
  }
  for (const Finding& finding : findings) {
    out << std::left << std::setw(8) << SeverityName(finding.severity)
        << std::setw(static_cast<int>(code_width + 2)) << finding.code
        << std::setw(static_cast<int>(where_width + 2)) << Where(finding);
    if (!finding.field.empty()) {
      out << finding.field << " " << Shown(finding.value);
      if (!finding.written.empty()) out << " -> " << Shown(finding.written);
      out << ": ";
    }
    out << finding.message << "\n";
  }
}

nlohmann::ordered_json FindingsJson(const std::vector<Finding>& findings) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Finding& finding : findings) {
    nlohmann::ordered_json entry = {
        {"code", finding.code},
        {"severity", SeverityName(finding.severity)},
        {"block", finding.block},
        {"transaction", finding.transaction},
        {"reference", finding.reference},
        {"field", finding.field},
        {"value", finding.value}};
    if (!finding.written.empty()) entry["written"] = finding.written;
    entry["message"] = finding.message;
    list.push_back(std::move(entry));
  }
  return list;
}

int Check(const CheckOptions& options) {
  const CheckOutcome outcome = RunCheck(options);
  const auto errors = std::count_if(
      outcome.findings.begin(), outcome.findings.end(),
      [](const Finding& f) { return f.severity == Finding::Severity::kError; });
  const auto warnings = static_cast<int64_t>(outcome.findings.size()) - errors;
  const bool ok = outcome.ran && errors == 0;
  if (options.json) {
    nlohmann::ordered_json report;
    report["ok"] = ok;
    report["Stato"] = outcome.stato;
    report["Errore"] = outcome.errore;
    report["kind"] = outcome.ran ? nlohmann::ordered_json(outcome.kind)
                                 : nlohmann::ordered_json(nullptr);
    report["errors"] = errors;
    report["warnings"] = warnings;
    report["findings"] = FindingsJson(outcome.findings);
    // Replacement keeps invalid UTF-8 of a value printable.
    std::cout << report.dump(2, ' ', false,
                             nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else if (outcome.ran) {
    PrintFindings(outcome.findings, std::cout);
    std::cout << options.job << " (" << outcome.kind << "): " << errors
              << (errors == 1 ? " error, " : " errors, ") << warnings
              << (warnings == 1 ? " warning" : " warnings") << "\n";
  }
  if (!outcome.ran) {
    std::cerr << "zsepa check: the job stopped before the point of saving\n"
              << "  Stato:  " << outcome.stato << "\n"
              << "  Errore: " << outcome.errore << "\n";
  }
  return ok ? 0 : 1;
}

}  // namespace zsepa::cli
