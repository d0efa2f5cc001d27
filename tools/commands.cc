#include "tools/commands.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include "adapters/sqlite/embedded_sql.h"
#include "base/ascii.h"
#include "format/formatting.h"
#include "status/report_checks.h"
#include "tools/input_file.h"
#include "tools/job.h"
#include "tools/kept_until_exit.h"
#include "tools/schema_lookup.h"
#include "writers/schema_validation.h"
#include "writers/writer.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/error.h"
#include "zsepa/framework.h"
#include "zsepa/odbc_connection.h"
#include "zsepa/sqlite_connection.h"

namespace zsepa::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr char kDefaultDatabase[] = "zsepa.db";
constexpr char kDatabaseVariable[] = "ZSEPA_DB";
constexpr char kDemoDatabase[] = "zsepa-demo.db";
constexpr char kExamplesDir[] = "examples";
constexpr char kStatusReportExample[] = "status-report.xml";
// Failures of the program itself that no layer below coded.
constexpr int32_t kProgramFailure = codes::kUnspecifiedFailure;

// A failure as the builder reports one.
struct Failure {
  int32_t stato = 0;
  std::string errore;
};

void PrintJson(const Json& value) {
  // Replacement keeps invalid UTF-8 from a database or a file printable.
  std::cout << value.dump(2, ' ', false, Json::error_handler_t::replace)
            << "\n";
}

std::string Hex(int32_t code) {
  std::ostringstream text;
  text << "0x" << std::hex << std::setw(8) << std::setfill('0')
       << static_cast<uint32_t>(code);
  return text.str();
}

// Stato and Errore on stderr; multi-line texts keep their indentation.
void PrintFailure(std::string_view command, const Failure& failure) {
  std::string errore = failure.errore;
  for (size_t at = 0; (at = errore.find('\r', at)) != std::string::npos;) {
    errore.erase(at, 1);
  }
  while (!errore.empty() && errore.back() == '\n') errore.pop_back();
  for (size_t at = 0; (at = errore.find('\n', at)) != std::string::npos;) {
    errore.replace(at, 1, "\n          ");
    at += 11;
  }
  std::cerr << "zsepa " << command << ": failed\n"
            << "  Stato:  " << failure.stato << " (" << Hex(failure.stato)
            << ")\n"
            << "  Errore: " << errore << "\n";
}

// A progress line on stderr for work that takes longer than a second, only
// when stderr is a terminal. A helper thread redraws the current stage ten
// times a second, so that long single steps (saving a large file) show too;
// it touches nothing but the stage it is given.
class Progress {
 public:
  Progress() {
    if (isatty(STDERR_FILENO) == 1) thread_ = std::thread([this] { Draw(); });
  }
  ~Progress() { Finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Update(std::string_view stage, int64_t done, int64_t total) {
    if (!thread_.joinable()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    stage_.assign(stage);
    done_ = done;
    total_ = total;
  }
  ProgressFn Callback() {
    return [this](std::string_view stage, int64_t done, int64_t total) {
      Update(stage, done, total);
    };
  }
  // Stops the helper thread and clears the line it drew.
  void Finish() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Draw() {
    const auto start = std::chrono::steady_clock::now();
    bool shown = false;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(100),
                           [this] { return stop_; })) {
      if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1) ||
          stage_.empty()) {
        continue;
      }
      std::cerr << "\rzsepa: " << stage_;
      if (total_ > 0) std::cerr << " " << done_ << "/" << total_;
      std::cerr << "\x1b[K" << std::flush;
      shown = true;
    }
    if (shown) std::cerr << "\r\x1b[K" << std::flush;
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::string stage_;
  int64_t done_ = 0;
  int64_t total_ = 0;
};

// Whether `word` occurs in `text`, case aside.
bool Contains(std::string_view text, std::string_view word) {
  for (size_t at = 0; at + word.size() <= text.size(); ++at) {
    if (EqualsIgnoreCase(text.substr(at, word.size()), word)) return true;
  }
  return false;
}

// The value of `key` in an ODBC connection string ("" when absent).
std::string ConnectionAttribute(const std::string& connection,
                                const std::string& key) {
  std::istringstream parts(connection);
  std::string part;
  while (std::getline(parts, part, ';')) {
    const size_t equals = part.find('=');
    if (equals == std::string::npos) continue;
    std::string name = part.substr(0, equals);
    name.erase(0, name.find_first_not_of(" \t"));
    name.erase(name.find_last_not_of(" \t") + 1);
    if (EqualsIgnoreCase(name, key)) {
      return part.substr(equals + 1);
    }
  }
  return "";
}

// The folder of the running program; empty when the system cannot tell.
fs::path ProgramDir() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : program.parent_path();
}

// The installed layout: bin/zsepa beside lib/ and share/.
fs::path InstallPrefix() {
  const fs::path dir = ProgramDir();
  return dir.empty() ? fs::path() : dir.parent_path();
}

// The scalar-function module for SQLite connections made by the ODBC driver:
// next to the program (as built), else in the installed library folder.
std::optional<fs::path> FunctionsModule() {
  const fs::path dir = ProgramDir();
  if (dir.empty()) return std::nullopt;
  const fs::path prefix = dir.parent_path();
  for (const fs::path& candidate :
       {dir / ZSEPA_SQLITE_FUNCTIONS_FILE,
        prefix / ZSEPA_INSTALL_LIBDIR / ZSEPA_SQLITE_FUNCTIONS_FILE,
        prefix / "lib" / ZSEPA_SQLITE_FUNCTIONS_FILE}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate;
  }
  return std::nullopt;
}

std::unique_ptr<db::Connection> OpenOdbc(std::string connection) {
  using odbc::OdbcConnection;
  if (!Contains(ConnectionAttribute(connection, "Driver"), "sqlite")) {
    return OdbcConnection::Open(connection,
                                OdbcConnection::Dialect::kSqlServer);
  }
  // The SQLite driver needs the accounting database's scalar functions.
  if (ConnectionAttribute(connection, "LoadExt").empty()) {
    if (const std::optional<fs::path> module = FunctionsModule()) {
      if (!connection.empty() && connection.back() != ';') connection += ";";
      connection += "LoadExt=" + module->string();
    }
  }
  return OdbcConnection::Open(connection, OdbcConnection::Dialect::kSqlite);
}

// The demo jobs' folder when none is named: examples in the working
// directory, else the installed ones (share/zsepa/examples).
std::string DefaultExamples() {
  std::error_code error;
  if (fs::is_directory(kExamplesDir, error)) return kExamplesDir;
  const fs::path prefix = InstallPrefix();
  const fs::path installed =
      prefix / ZSEPA_INSTALL_DATADIR / "zsepa" / kExamplesDir;
  if (prefix.empty() || !fs::is_directory(installed, error)) {
    throw Error(kProgramFailure, "zsepa",
                std::string("No ") + kExamplesDir +
                    " folder in the working directory and no installed "
                    "examples" +
                    (prefix.empty() ? "" : " in " + installed.string()) +
                    " (use --examples DIR)");
  }
  return installed.string();
}

// The embedded database file a choice names and how it was named; for an
// ODBC connection, the file of a SQLite driver's Database attribute (used
// only to keep --out off it), else nothing.
struct DatabaseFile {
  std::string path;
  std::string named;
  bool by_default = false;  // zsepa.db in the working directory
};

std::optional<DatabaseFile> ChosenDatabaseFile(const DatabaseChoice& choice) {
  if (!choice.odbc.empty()) {
    const std::string file = ConnectionAttribute(choice.odbc, "Database");
    if (Contains(ConnectionAttribute(choice.odbc, "Driver"), "sqlite") &&
        !file.empty()) {
      return DatabaseFile{file, "named by --odbc"};
    }
    return std::nullopt;
  }
  if (!choice.db_path.empty()) {
    return DatabaseFile{choice.db_path, "given with --db"};
  }
  const char* variable = std::getenv(kDatabaseVariable);
  if (variable != nullptr && *variable != '\0') {
    return DatabaseFile{variable, std::string("named by ") + kDatabaseVariable};
  }
  return DatabaseFile{kDefaultDatabase, "in the working directory", true};
}

// The tables the shipped schema creates.
std::vector<std::string> SchemaTables() {
  static constexpr std::string_view kCreate = "CREATE TABLE ";
  const std::string_view schema = sqlite::SchemaV1Sql();
  std::vector<std::string> tables;
  for (size_t at = schema.find(kCreate); at != std::string_view::npos;
       at = schema.find(kCreate, at)) {
    at += kCreate.size();
    const size_t end = schema.find_first_of(" (\r\n", at);
    tables.emplace_back(schema.substr(at, end - at));
  }
  return tables;
}

// A database file that opens but lacks the schema (an empty file, another
// program's database) is refused here, before a statement fails on a
// missing table.
void RequireSchema(db::Connection& connection, const DatabaseFile& file) {
  std::vector<std::string> present;
  std::unique_ptr<db::Recordset> rows =
      connection.Execute("SELECT name FROM sqlite_master WHERE type='table'");
  for (; !rows->Eof(); rows->MoveNext()) {
    present.push_back(rows->Field(int32_t{0}).ToText());
  }
  rows->Close();
  for (const std::string& table : SchemaTables()) {
    if (std::find(present.begin(), present.end(), table) == present.end()) {
      throw Error(kProgramFailure, "zsepa",
                  "The database file " + file.path + " " + file.named +
                      " is not a zsepa database: it has no table " + table +
                      " (run `zsepa init-db` to create one)");
    }
  }
}

// An embedded database that must already exist as a regular file with the
// schema.
std::unique_ptr<db::Connection> OpenExisting(const DatabaseFile& file) {
  std::error_code error;
  if (!fs::exists(file.path, error)) {
    throw Error(kProgramFailure, "zsepa",
                "The database file " + file.path + " " + file.named +
                    " does not exist; create it with: zsepa init-db " +
                    file.path + " --demo");
  }
  if (const auto kind = NotARegularFile(file.path)) {
    throw Error(
        kProgramFailure, "zsepa",
        "The database file " + file.path + " " + file.named + " " + *kind);
  }
  auto connection = sqlite::SqliteConnection::Open(file.path);
  RequireSchema(*connection, file);
  return connection;
}

std::unique_ptr<db::Connection> OpenDatabase(const DatabaseChoice& choice) {
  if (!choice.odbc.empty()) return OpenOdbc(choice.odbc);
  const DatabaseFile file = *ChosenDatabaseFile(choice);
  std::error_code error;
  if (file.by_default && !fs::exists(file.path, error)) {
    throw Error(
        kProgramFailure, "zsepa",
        std::string("No database given and no ") + kDefaultDatabase +
            " in the working directory: name one with --db FILE or "
            "--odbc CONNSTR (or the " +
            kDatabaseVariable +
            " environment variable), or create one with: zsepa init-db " +
            kDefaultDatabase + " --demo");
  }
  return OpenExisting(file);
}

// Whether two paths name the same file: the same device and inode when both
// exist, else the same path once resolved.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) {
    const bool same = fs::equivalent(a, b, error);
    return same && !error;
  }
  const fs::path resolved_a = fs::weakly_canonical(a, error);
  if (error) return false;
  const fs::path resolved_b = fs::weakly_canonical(b, error);
  return !error && resolved_a == resolved_b;
}

// Refuses an output file that is one of the command's inputs: saving it
// would replace the database or the job with the bank file.
void RequireSeparateOutput(const WriteOptions& options) {
  const std::string& out = options.out;
  if (const auto database = ChosenDatabaseFile(options.database)) {
    if (SameFile(out, database->path)) {
      throw Error(kProgramFailure, "zsepa",
                  "--out " + out + " is the database file " + database->path +
                      " " + database->named +
                      "; writing the bank file there would destroy it: choose "
                      "another --out");
    }
  }
  if (SameFile(out, options.job)) {
    throw Error(kProgramFailure, "zsepa",
                "--out " + out + " is the job file " + options.job +
                    "; writing the bank file there would destroy it: choose "
                    "another --out");
  }
}

Failure FailureOf(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return {rt::kOutOfMemory, "Out of memory"};
  }
  if (const auto* job = dynamic_cast<const JobError*>(&error)) {
    return {job->code(), job->what()};
  }
  if (const auto* coded = dynamic_cast<const Error*>(&error)) {
    return {coded->Code(), coded->Description()};
  }
  return {kProgramFailure, error.what()};
}

// What a write job gave.
struct WriteOutcome {
  bool ok = false;
  Failure failure;
  std::string msg_id;
  int32_t count = 0;
  double total = 0;
  // A save that succeeded while recording a failure in Stato/Errore (the
  // lookups absorb their own failures): the file was written, but maybe not
  // as the data meant.
  std::vector<std::string> warnings;
  // The file kind the builder's dispatch picks.
  writers::FileKind kind = writers::FileKind::kCbiSepaCreditTransfer;
  // What the pre-flight checks found (write --check, check).
  std::vector<Finding> findings;
  bool checked = false;
  // Problems of a file refused by write --validate.
  std::vector<SchemaIssue> issues;
  // SaveXML ran under a profile other than the exact one; what that
  // profile changed against the exact file, and what it refused.
  bool profiled = false;
  std::vector<Finding> adjustments;
};

// What a job does once its builder is filled: save it, or only look at it.
// Returns whether that went well; failures of its own go into the outcome.
using AtSave = std::function<bool(CLSEP_FILESEPA& builder,
                                  WriteOutcome& outcome, Progress& progress)>;

// Plays the host for one job: company, connection, blocks, transactions,
// then `at_save`. Failures of the builder come back in the outcome.
WriteOutcome RunHost(Job& job, db::Connection& connection, Progress& progress,
                     const AtSave& at_save) {
  WriteOutcome outcome;
  framework::InMemoryFramework framework(job.ditta);
  CLSEP_FILESEPA& builder = KeptUntilExit(std::make_unique<CLSEP_FILESEPA>());
  builder.ActiveInterface = &framework;
  builder.AdoConnection = &connection;
  try {
    builder.Initialize();
  } catch (const std::exception& error) {
    outcome.failure = FailureOf(error);
    return outcome;
  }
  outcome.ok = RunJob(job, builder, progress.Callback());
  // The plan's transactions, released by RunJob, go back to the system now
  // rather than stay resident beside the file being written.
  malloc_trim(0);
  outcome.kind =
      writers::KindOf(builder.FormatoFile, builder.CodiceIsoLocalizzazione);
  if (outcome.ok) outcome.ok = at_save(builder, outcome, progress);
  progress.Finish();
  // A failure of the save's guards is theirs; any other is the builder's.
  if (outcome.failure.stato == 0) {
    outcome.failure = {builder.Stato(), builder.Errore()};
  }
  try {
    outcome.msg_id = builder.MsgId();
    outcome.count = builder.NumeroTotaleTrasferimenti();
    outcome.total = builder.ImportoTotaleTrasferimenti();
  } catch (const std::exception&) {
    // Totals of a builder that failed are shown as far as they exist.
  }
  // The builder's blocks are left to the end of the program; it borrows
  // nothing that it would use again.
  builder.ActiveInterface = nullptr;
  builder.AdoConnection = nullptr;
  return outcome;
}

// SaveXML to `path`, with the warning of a save that succeeded while the
// builder recorded a failure.
bool Save(CLSEP_FILESEPA& builder, const std::string& path,
          const std::string& shown, WriteOutcome& outcome, Progress& progress) {
  progress.Update("saving " + shown, 0, 0);
  const int32_t stato_before = builder.Stato();
  const std::string errore_before = builder.Errore();
  const bool ok = builder.SaveXML(path);
  if (ok && builder.Stato() != 0 &&
      (builder.Stato() != stato_before || builder.Errore() != errore_before)) {
    outcome.warnings.push_back(
        shown +
        " was written, but the builder recorded a failure while "
        "saving it: Stato " +
        std::to_string(builder.Stato()) + " (" + Hex(builder.Stato()) +
        "), Errore: " + builder.Errore());
  }
  return ok;
}

// Where and how a file is checked against its schema.
struct SchemaCheck {
  std::string problem;            // why it could not be checked
  std::optional<std::string> ns;  // once the root was read
  std::string schema;
  std::vector<SchemaIssue> issues;
  bool Valid() const { return problem.empty() && issues.empty(); }
};

SchemaCheck CheckAgainstSchema(const std::string& file,
                               const std::string& xsd_dir) {
  SchemaCheck check;
  try {
    check.ns = RootNamespace(file);
    if (check.ns->empty()) {
      check.problem = "the root element of " + file +
                      " has no namespace, so no schema can be chosen";
    } else if (const auto schema = FindSchemaFor(xsd_dir, *check.ns)) {
      check.schema = *schema;
      check.issues = ValidateAgainstSchema(file, *schema);
    } else {
      check.problem =
          "no schema in " + xsd_dir + " has the targetNamespace " + *check.ns;
    }
  } catch (const std::exception& error) {
    check.problem = FailureOf(error).errore;
  }
  return check;
}

// A file beside `target` that no other save uses: hidden, with a random name.
fs::path ValidationCopyOf(const fs::path& target) {
  std::random_device random;
  for (;;) {
    const fs::path candidate =
        target.parent_path() /
        ("." + target.filename().string() + ".zsepa-validate-" +
         std::to_string(random()) + ".xml");
    std::error_code error;
    if (!fs::exists(fs::symlink_status(candidate, error))) return candidate;
  }
}

// write --validate: the file is saved beside the target, validated, and
// renamed over the target (the file a symbolic link leads to, keeping its
// permissions) only when valid; it is removed otherwise.
bool SaveValidated(CLSEP_FILESEPA& builder, const std::string& out,
                   const std::string& xsd_dir, WriteOutcome& outcome,
                   Progress& progress) {
  std::error_code error;
  fs::path target(out);
  if (fs::is_symlink(fs::symlink_status(target, error))) {
    target = fs::canonical(target, error);
    if (error) target = out;
  }
  const fs::path copy = ValidationCopyOf(target);
  struct Remove {
    fs::path path;
    ~Remove() {
      std::error_code ignored;
      if (!path.empty()) fs::remove(path, ignored);
    }
  } remove{copy};
  if (!Save(builder, copy.string(), out, outcome, progress)) return false;
  progress.Update("validating " + out, 0, 0);
  SchemaCheck check = CheckAgainstSchema(copy.string(), xsd_dir);
  if (!check.Valid()) {
    outcome.issues = std::move(check.issues);
    outcome.failure = {
        kProgramFailure,
        check.problem.empty()
            ? out + " is not valid against " + check.schema + " (" +
                  std::to_string(outcome.issues.size()) +
                  (outcome.issues.size() == 1 ? " error" : " errors") +
                  "): nothing was written"
            : check.problem + ": nothing was written"};
    return false;
  }
  const fs::file_status existing = fs::status(target, error);
  if (fs::is_regular_file(existing)) {
    fs::permissions(copy, existing.permissions(), error);
  }
  fs::rename(copy, target, error);
  if (error) {
    outcome.failure = {kProgramFailure, "Impossibile salvare il file '" + out +
                                            "': " + error.message()};
    return false;
  }
  remove.path.clear();
  return true;
}

// Each problem as FILE:LINE: message on stderr, then their count.
void PrintIssues(const std::string& file,
                 const std::vector<SchemaIssue>& issues) {
  for (const SchemaIssue& issue : issues) {
    std::string message = issue.message;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    std::cerr << file << ":" << issue.line << ": " << message << "\n";
  }
  if (!issues.empty()) {
    std::cerr << file << ": " << issues.size()
              << (issues.size() == 1 ? " error" : " errors") << "\n";
  }
}

// What guards a write (the pre-flight checks, the schema) and the form of
// the file.
struct SaveGuards {
  bool check = false;
  std::string validate_dir;
  FileProfile profile = FileProfile::kExact;
};

// Plays the host for one job and saves its file, after the guards asked for.
WriteOutcome RunWrite(Job& job, db::Connection& connection,
                      const std::string& out, Progress& progress,
                      const SaveGuards& guards = {}) {
  return RunHost(
      job, connection, progress,
      [&](CLSEP_FILESEPA& builder, WriteOutcome& outcome, Progress& p) {
        builder.Profile = guards.profile;
        if (guards.check) {
          outcome.findings = CheckBeforeSave(builder);
          outcome.checked = true;
          if (HasErrors(outcome.findings)) {
            outcome.failure = {kProgramFailure,
                               "The pre-flight checks found errors: " + out +
                                   " was not written"};
            return false;
          }
        }
        const bool saved =
            guards.validate_dir.empty()
                ? Save(builder, out, out, outcome, p)
                : SaveValidated(builder, out, guards.validate_dir, outcome, p);
        if (guards.profile != FileProfile::kExact) {
          outcome.profiled = true;
          outcome.adjustments = builder.ProfileFindings();
        }
        return saved;
      });
}

// The form a job's file takes: the command line's, else the job's own.
FileProfile ProfileFor(const std::optional<FileProfile>& chosen,
                       const Job& job) {
  return chosen.value_or(job.profile.value_or(FileProfile::kExact));
}

// "3 changes", "1 refused, 2 changes", "no changes": what a profile did.
std::string AdjustmentsSummary(const std::vector<Finding>& adjustments) {
  const auto refused = std::count_if(
      adjustments.begin(), adjustments.end(),
      [](const Finding& f) { return f.severity == Finding::Severity::kError; });
  const auto changes = static_cast<int64_t>(adjustments.size()) - refused;
  std::string summary;
  if (refused > 0) summary = std::to_string(refused) + " refused, ";
  if (changes == 0) return summary + "no changes";
  return summary + std::to_string(changes) +
         (changes == 1 ? " change" : " changes");
}

// The adjustments of a profile on stderr: one line each, then their count.
void PrintAdjustments(std::string_view command, FileProfile profile,
                      const std::vector<Finding>& adjustments) {
  PrintFindings(adjustments, std::cerr);
  std::cerr << "zsepa " << command << ": profile " << ProfileName(profile)
            << ": " << AdjustmentsSummary(adjustments)
            << " against the exact file\n";
}

// Totals are currency amounts: shown to the cent, as files write them.
std::string Amount(double value) { return FormattaImporto(Variant(value)); }
double Cents(double value) {
  const std::string text = Amount(value);
  double cents = value;
  std::from_chars(text.data(), text.data() + text.size(), cents);
  return cents;
}

void PrintWarnings(std::string_view command,
                   const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) {
    std::cerr << "zsepa " << command << ": warning: " << warning << "\n";
  }
}

const char* KindName(writers::FileKind kind) {
  switch (kind) {
    case writers::FileKind::kCbiSepaCreditTransfer:
      return "CBI SEPA credit transfer";
    case writers::FileKind::kCbiCrossBorderTransfer:
      return "CBI cross-border transfer";
    case writers::FileKind::kIsoCreditTransfer:
      return "ISO 20022 pain.001";
    case writers::FileKind::kCbiDirectDebit:
      break;
  }
  return "CBI SEPA direct debit";
}

std::string DateText(const Variant& value) {
  if (value.IsEmpty()) return "";
  if (value.IsNull()) return "Null";
  return value.ToText();
}

// Why validate cannot start: a FILE that is not a regular file (a named pipe
// would block the validator), a schema folder that is missing or no folder.
// A missing FILE is the validator's to report.
std::string ValidationInputProblem(const ValidateOptions& options) {
  if (const auto kind = NotARegularFile(options.file)) {
    return options.file + " " + *kind;
  }
  std::error_code error;
  const fs::file_status folder = fs::status(options.xsd_dir, error);
  if (!fs::exists(folder)) {
    return "the schema folder " + options.xsd_dir + " does not exist";
  }
  if (!fs::is_directory(folder)) {
    return "the schema folder " + options.xsd_dir + " is not a folder";
  }
  return "";
}

}  // namespace

int InitDb(const std::string& path, bool demo) {
  std::error_code error;
  if (fs::exists(fs::symlink_status(path, error))) {
    std::cerr << "zsepa init-db: " << path
              << " already exists; init-db only creates new databases "
                 "(choose another name, or remove the file first)\n";
    return 1;
  }
  try {
    auto connection = sqlite::SqliteConnection::Create(path);
    if (demo) {
      try {
        sqlite::FillDemoData(*connection);
      } catch (...) {
        connection.reset();
        std::error_code error;
        fs::remove(path, error);
        throw;
      }
    }
    std::cout << "Created " << path << " with the schema"
              << (demo ? " and the demo company" : "") << ".\n";
    return 0;
  } catch (const std::exception& error) {
    PrintFailure("init-db", FailureOf(error));
    return 1;
  }
}

int Write(const WriteOptions& options) {
  WriteOutcome outcome;
  FileProfile profile = options.profile.value_or(FileProfile::kExact);
  try {
    RequireSeparateOutput(options);
    Progress progress;
    progress.Update("reading " + options.job, 0, 0);
    Job& job = KeptUntilExit(std::make_unique<Job>(ReadJob(options.job)));
    profile = ProfileFor(options.profile, job);
    progress.Update("opening the database", 0, 0);
    auto connection = OpenDatabase(options.database);
    outcome = RunWrite(job, *connection, options.out, progress,
                       {options.check, options.validate_dir, profile});
  } catch (const std::exception& error) {
    outcome.failure = FailureOf(error);
  }
  if (options.json) {
    Json result;
    result["ok"] = outcome.ok;
    result["Stato"] = outcome.failure.stato;
    result["Errore"] = outcome.failure.errore;
    result["MsgId"] = outcome.msg_id;
    result["NumeroTotaleTrasferimenti"] = outcome.count;
    result["ImportoTotaleTrasferimenti"] = Cents(outcome.total);
    result["file"] = outcome.ok ? Json(options.out) : Json(nullptr);
    result["warnings"] = outcome.warnings;
    if (profile != FileProfile::kExact) {
      result["profile"] = std::string(ProfileName(profile));
      result["adjustments"] = FindingsJson(outcome.adjustments);
    }
    if (outcome.checked) result["findings"] = FindingsJson(outcome.findings);
    if (!outcome.issues.empty()) {
      Json errors = Json::array();
      for (const SchemaIssue& issue : outcome.issues) {
        errors.push_back({{"line", issue.line}, {"message", issue.message}});
      }
      result["schema_errors"] = errors;
    }
    PrintJson(result);
  } else if (outcome.ok) {
    std::cout << "MsgId                      " << outcome.msg_id << "\n"
              << "NumeroTotaleTrasferimenti  " << outcome.count << "\n"
              << "ImportoTotaleTrasferimenti " << Amount(outcome.total) << "\n"
              << "File                       " << options.out << "\n";
  }
  if (!options.json) {
    PrintFindings(outcome.findings, std::cerr);
    if (outcome.profiled) {
      PrintAdjustments("write", profile, outcome.adjustments);
    }
    PrintIssues(options.out, outcome.issues);
  }
  PrintWarnings("write", outcome.warnings);
  if (!outcome.ok) PrintFailure("write", outcome.failure);
  return outcome.ok ? 0 : 1;
}

CheckOutcome RunCheck(const CheckOptions& options) {
  CheckOutcome result;
  WriteOutcome outcome;
  try {
    Progress progress;
    progress.Update("reading " + options.job, 0, 0);
    Job& job = KeptUntilExit(std::make_unique<Job>(ReadJob(options.job)));
    progress.Update("opening the database", 0, 0);
    auto connection = OpenDatabase(options.database);
    outcome =
        RunHost(job, *connection, progress,
                [](CLSEP_FILESEPA& builder, WriteOutcome& ran, Progress& p) {
                  p.Update("checking", 0, 0);
                  ran.findings = CheckBeforeSave(builder);
                  return true;
                });
  } catch (const std::exception& error) {
    outcome.failure = FailureOf(error);
  }
  result.ran = outcome.ok;
  result.stato = outcome.failure.stato;
  result.errore = outcome.failure.errore;
  result.kind = KindName(outcome.kind);
  result.findings = std::move(outcome.findings);
  return result;
}

namespace {

// What reading one status report gave.
struct StatusOutcome {
  bool result = false;  // LoadXml's answer
  // The command's: a header check always answers False, and passes when
  // Errore is empty.
  bool ok = false;
  Failure failure;
  std::shared_ptr<CLSEP_OUTPUTSEPA> output =
      std::make_shared<CLSEP_OUTPUTSEPA>();
  // With --check only.
  std::optional<std::vector<status::Finding>> findings;
};

// Plays the host for LoadXml. Failures of the builder come back in the
// outcome; those of setting it up are raised.
StatusOutcome ReadReport(const std::string& report,
                         framework::FrameworkObject& framework,
                         db::Connection& connection, bool validate_only) {
  StatusOutcome outcome;
  CLSEP_FILESEPA builder;
  builder.ActiveInterface = &framework;
  builder.AdoConnection = &connection;
  builder.Initialize();
  outcome.result = builder.LoadXml(report, validate_only);
  outcome.ok = validate_only ? builder.Errore().empty() : outcome.result;
  outcome.failure = {builder.Stato(), builder.Errore()};
  outcome.output = builder.CpOutput();
  builder.Terminate();
  return outcome;
}

// The report checks, against the batch that LoadXml decoded; without a
// company or a database the items are not looked up.
void CheckReport(const std::string& report, StatusOutcome& outcome,
                 const framework::FrameworkObject* framework,
                 db::Connection* connection) {
  outcome.findings = status::CheckStatusReport(
      report, {connection, framework, outcome.output->NumeroDistinta,
               outcome.output->AnnoDistinta});
}

Json FindingsJson(const std::vector<status::Finding>& findings) {
  Json list = Json::array();
  for (const status::Finding& finding : findings) {
    list.push_back({{"code", finding.code},
                    {"severity", status::SeverityName(finding.severity)},
                    {"path", finding.path},
                    {"line", finding.line},
                    {"message", finding.message}});
  }
  return list;
}

void PrintFindingsTable(const std::vector<status::Finding>& findings) {
  std::cout << "Findings          " << findings.size() << "\n";
  for (const status::Finding& finding : findings) {
    std::cout << "  " << std::left << std::setw(8)
              << status::SeverityName(finding.severity) << std::setw(25)
              << finding.code << std::setw(12)
              << "line " + std::to_string(finding.line) << std::right
              << finding.path << "\n"
              << "          " << finding.message << "\n";
  }
}

// The outcome as read-status prints it: a table, or one JSON object.
void PrintStatus(const StatusOutcome& outcome, bool json) {
  const CLSEP_OUTPUTSEPA& output = *outcome.output;
  if (json) {
    Json report;
    report["ok"] = outcome.ok;
    report["result"] = outcome.result;
    report["Stato"] = outcome.failure.stato;
    report["Errore"] = outcome.failure.errore;
    report["TipoDistinta"] = output.TipoDistinta;
    report["NumeroDistinta"] = output.NumeroDistinta;
    report["AnnoDistinta"] = output.AnnoDistinta;
    report["MessageQualifier"] = ToInt(output.MessageQualifier);
    report["RejectReason"] = output.RejectReason;
    report["AbiBanca"] = output.AbiBanca;
    Json items = Json::array();
    for (const auto& item : output.Effetti()) {
      Json entry;
      entry["NumeroEffetto"] = item->NumeroEffetto;
      entry["Importo"] = item->Importo;
      entry["RejectReason"] = item->RejectReason;
      entry["IsInsoluto"] = item->IsInsoluto;
      entry["DataScadenza"] = item->DataScadenza.IsNull()
                                  ? Json(nullptr)
                                  : Json(DateText(item->DataScadenza));
      items.push_back(entry);
    }
    report["Effetti"] = items;
    report["NumeroInsoluti"] = output.NumeroInsoluti();
    report["NumeroRichiami"] = output.NumeroRichiami();
    if (outcome.findings) report["findings"] = FindingsJson(*outcome.findings);
    PrintJson(report);
    return;
  }
  std::cout << "LoadXml           " << (outcome.result ? "True" : "False")
            << "\n"
            << "Stato             " << outcome.failure.stato << "\n"
            << "Errore            " << outcome.failure.errore << "\n"
            << "Batch             TipoDistinta " << output.TipoDistinta
            << ", NumeroDistinta " << output.NumeroDistinta << ", AnnoDistinta "
            << output.AnnoDistinta << "\n"
            << "MessageQualifier  " << ToInt(output.MessageQualifier) << "\n"
            << "RejectReason      " << output.RejectReason << "\n"
            << "AbiBanca          " << output.AbiBanca << "\n"
            << "Effetti           " << output.Effetti().Count() << "\n";
  for (const auto& item : output.Effetti()) {
    const std::string date = DateText(item->DataScadenza);
    std::cout << "  NumeroEffetto " << item->NumeroEffetto << ", Importo "
              << Amount(item->Importo) << ", RejectReason "
              << item->RejectReason << ", IsInsoluto "
              << (item->IsInsoluto ? "True" : "False") << ", DataScadenza "
              << (date.empty() ? "(empty)" : date) << "\n";
  }
  std::cout << "NumeroInsoluti    " << output.NumeroInsoluti() << "\n"
            << "NumeroRichiami    " << output.NumeroRichiami() << "\n";
  if (outcome.findings) PrintFindingsTable(*outcome.findings);
}

}  // namespace

int ReadStatus(const ReadStatusOptions& options) {
  StatusOutcome outcome;
  std::optional<framework::InMemoryFramework> framework;
  std::unique_ptr<db::Connection> connection;
  try {
    framework.emplace(ReadCompany(options.company));
    connection = OpenDatabase(options.database);
    outcome = ReadReport(options.report, *framework, *connection,
                         options.validate_only);
  } catch (const std::exception& error) {
    outcome.failure = FailureOf(error);
  }
  // The checks read the report on their own, so they run whatever LoadXml
  // gave.
  if (options.check || options.strict) {
    CheckReport(options.report, outcome, framework ? &*framework : nullptr,
                connection.get());
  }
  PrintStatus(outcome, options.json);
  if (!outcome.ok) PrintFailure("read-status", outcome.failure);
  if (options.strict && status::HasErrors(*outcome.findings)) {
    std::cerr << "zsepa read-status: the checks found errors (--strict)\n";
    return 1;
  }
  return outcome.ok ? 0 : 1;
}

int Validate(const ValidateOptions& options) {
  Json report;
  report["file"] = options.file;
  SchemaCheck check;
  try {
    check.problem = ValidationInputProblem(options);
  } catch (const std::exception& error) {
    check.problem = FailureOf(error).errore;
  }
  if (check.problem.empty()) {
    check = CheckAgainstSchema(options.file, options.xsd_dir);
    if (check.ns) report["namespace"] = *check.ns;
    if (!check.schema.empty()) report["schema"] = check.schema;
  }
  const std::string& problem = check.problem;
  const std::vector<SchemaIssue>& issues = check.issues;
  const bool valid = check.Valid();
  if (options.json) {
    report["ok"] = valid;
    Json errors = Json::array();
    if (!problem.empty()) errors.push_back({{"line", 0}, {"message", problem}});
    for (const SchemaIssue& issue : issues) {
      errors.push_back({{"line", issue.line}, {"message", issue.message}});
    }
    report["errors"] = errors;
    PrintJson(report);
  } else if (valid) {
    std::cout << options.file << ": valid against "
              << report["schema"].get<std::string>() << "\n";
  }
  if (!options.json) {
    if (!problem.empty()) std::cerr << "zsepa validate: " << problem << "\n";
    PrintIssues(options.file, issues);
  }
  return valid ? 0 : 1;
}

int Demo(const DemoOptions& options) {
  struct Entry {
    std::string job_path;
    std::string file;
    Job job;
  };
  std::vector<Entry> entries;
  std::unique_ptr<sqlite::SqliteConnection> connection;
  const fs::path dir(options.dir);
  std::string examples;
  try {
    // Every job is checked before anything is written.
    std::vector<fs::path> paths;
    std::error_code error;
    examples = options.examples.empty() ? DefaultExamples() : options.examples;
    for (fs::directory_iterator it(examples, error), end; !error && it != end;
         it.increment(error)) {
      const fs::path& path = it->path();
      if (path.extension() == ".json" && path.stem() != "company") {
        paths.push_back(path);
      }
    }
    if (error || paths.empty()) {
      throw Error(kProgramFailure, "zsepa",
                  "No demo jobs (*.json) found in " + examples +
                      (error ? ": " + error.message() : "") +
                      " (use --examples DIR)");
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
      entries.push_back({path.string(), path.stem().string() + ".xml",
                         ReadJob(path.string())});
    }
    fs::create_directories(dir);
    const fs::path database = dir / kDemoDatabase;
    fs::remove(database);  // the demo always starts from fresh demo data
    connection = sqlite::SqliteConnection::Create(database.string());
    sqlite::FillDemoData(*connection);
    std::cout << "Demo database: " << database.string() << "\n\n";
  } catch (const std::exception& error) {
    PrintFailure("demo", FailureOf(error));
    return 1;
  }

  std::cout << std::left << std::setw(22) << "file" << std::setw(28) << "kind"
            << std::right << std::setw(13) << "transactions" << std::setw(12)
            << "total" << std::setw(10) << "size"
            << "\n";
  int written = 0;
  std::vector<std::string> failures;
  // The files written under a profile other than the exact one, for the
  // summary after the table.
  struct Adjusted {
    std::string file;
    FileProfile profile;
    std::vector<Finding> adjustments;
  };
  std::vector<Adjusted> adjusted;
  for (Entry& entry : entries) {
    const fs::path out = dir / entry.file;
    Progress progress;
    const FileProfile profile = ProfileFor(options.profile, entry.job);
    const WriteOutcome outcome = RunWrite(entry.job, *connection, out.string(),
                                          progress, {false, "", profile});
    std::cout << std::left << std::setw(22) << entry.file << std::setw(28)
              << KindName(outcome.kind) << std::right;
    if (outcome.ok) {
      std::error_code error;
      const auto size = fs::file_size(out, error);
      std::cout << std::setw(13) << outcome.count << std::setw(12)
                << Amount(outcome.total) << std::setw(10)
                << (error ? std::string("?") : std::to_string(size)) << "\n";
      ++written;
    } else {
      std::cout << "   FAILED (see below)\n";
      failures.push_back(entry.job_path);
      PrintFailure("demo " + entry.job_path, outcome.failure);
      if (outcome.profiled) PrintFindings(outcome.adjustments, std::cerr);
    }
    if (outcome.profiled) {
      adjusted.push_back({entry.file, profile, outcome.adjustments});
    }
    std::cout << std::flush;  // the row before its warnings
    PrintWarnings("demo " + entry.job_path, outcome.warnings);
  }
  std::cout << "\n"
            << written << " written to " << dir.string() << ", "
            << failures.size() << " failed.\n";
  if (!adjusted.empty()) {
    std::cout << "\nChanges against the exact files:\n\n";
  }
  for (const Adjusted& file : adjusted) {
    // How often each code occurs, in the order the file first meets it.
    std::vector<std::pair<std::string, int>> counts;
    for (const Finding& finding : file.adjustments) {
      auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) {
        return c.first == finding.code;
      });
      if (it == counts.end()) {
        counts.emplace_back(finding.code, 1);
      } else {
        ++it->second;
      }
    }
    std::string codes;
    for (const auto& [code, count] : counts) {
      codes +=
          (codes.empty() ? ": " : ", ") + std::to_string(count) + " " + code;
    }
    std::cout << "  " << std::left << std::setw(22) << file.file
              << std::setw(11) << ProfileName(file.profile) << std::right
              << AdjustmentsSummary(file.adjustments) << codes << "\n";
  }

  // The other direction: the bank's answer to the direct-debit batch, read
  // against the demo database as read-status --check reads it.
  const fs::path report = fs::path(examples) / kStatusReportExample;
  std::error_code missing;
  if (!fs::exists(report, missing)) return failures.empty() ? 0 : 1;
  std::cout << "\nStatus report " << report.string() << " (zsepa read-status "
            << "--check):\n\n";
  StatusOutcome outcome;
  std::optional<framework::InMemoryFramework> framework;
  try {
    framework.emplace(
        ReadCompany((fs::path(examples) / "company.json").string()));
    outcome = ReadReport(report.string(), *framework, *connection, false);
  } catch (const std::exception& error) {
    outcome.failure = FailureOf(error);
  }
  CheckReport(report.string(), outcome, framework ? &*framework : nullptr,
              connection.get());
  PrintStatus(outcome, false);
  if (!outcome.ok) {
    std::cout << std::flush;
    PrintFailure("demo " + report.string(), outcome.failure);
  }
  return failures.empty() && outcome.ok ? 0 : 1;
}

}  // namespace zsepa::cli
