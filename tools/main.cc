#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "tools/commands.h"
#include "tools/job.h"

namespace {

using zsepa::cli::DatabaseChoice;

void AddDatabaseOptions(CLI::App& command, DatabaseChoice& database) {
  CLI::Option* db = command.add_option(
      "--db", database.db_path,
      "Embedded database file (default: $ZSEPA_DB when set, else zsepa.db in "
      "the working directory; it must exist: create one with 'zsepa "
      "init-db')");
  CLI::Option* odbc = command.add_option(
      "--odbc", database.odbc,
      "ODBC connection string, e.g. \"DSN=accounting;UID=...;PWD=...\" "
      "(a Driver naming SQLite selects the SQLite dialect)");
  db->excludes(odbc);
}

// --profile NAME: the form of the files; `name` receives the name given.
void AddProfileOption(CLI::App& command, std::string& name,
                      const std::string& what) {
  command
      .add_option("--profile", name,
                  what +
                      ": \"exact\" (the default: the files as the "
                      "component has always written them) or "
                      "\"bank-2026\" (the current versions of the "
                      "formats, structured addresses, the SEPA character "
                      "set; each change is reported); it wins over a "
                      "job's \"profile\" key")
      ->type_name("NAME")
      ->check(CLI::Validator(
          [](std::string& given) {
            return zsepa::ProfileNamed(given)
                       ? std::string()
                       : zsepa::cli::UnknownProfile(given);
          },
          ""));
}

// An argument the parser could not place, and the command it was given to.
struct Unplaced {
  const CLI::App* command;
  std::string argument;
};

// The first argument that is no option, command or operand of the command
// line. The parser collects them before it checks what is required, so they
// are known whatever error it raised.
std::optional<Unplaced> FirstUnplaced(const CLI::App& app) {
  std::vector<const CLI::App*> commands{&app};
  for (const CLI::App* command : app.get_subcommands()) {
    commands.push_back(command);
  }
  for (const CLI::App* command : commands) {
    const std::vector<std::string> rest = command->remaining();
    if (!rest.empty()) return Unplaced{command, rest.front()};
  }
  return std::nullopt;
}

// "zsepa" or "zsepa write": how messages name a command.
std::string CommandName(const CLI::App& app, const CLI::App& command) {
  return &command == &app ? app.get_name()
                          : app.get_name() + " " + command.get_name();
}

// The help of the program itself, or of the command chosen.
std::string HelpOf(const CLI::App& app, const CLI::App& command) {
  return &command == &app
             ? app.get_formatter()->make_help(&app, app.get_name(),
                                              CLI::AppFormatMode::Normal)
             : app.help();
}

// Reports a command line that cannot be run; the exit status is 1.
int UsageError(const CLI::App& app, const CLI::ParseError& error) {
  const std::vector<CLI::App*> chosen = app.get_subcommands();
  if (const std::optional<Unplaced> unplaced = FirstUnplaced(app)) {
    const std::string& argument = unplaced->argument;
    std::cerr << CommandName(app, *unplaced->command) << ": ";
    if (argument.size() > 1 && argument.front() == '-') {
      std::cerr << "unknown option '" << argument.substr(0, argument.find('='))
                << "'";
    } else if (unplaced->command == &app) {
      std::cerr << "unknown command '" << argument << "'";
    } else {
      std::cerr << "unexpected argument '" << argument << "'";
    }
    std::cerr << "\n\n" << HelpOf(app, *unplaced->command);
  } else if (chosen.empty()) {
    std::cerr << app.get_name() << ": a command is needed\n\n" << app.help();
  } else {
    const std::string command = CommandName(app, *chosen.front());
    std::cerr << command << ": " << error.what() << "\nRun '" << command
              << " --help' for the options.\n";
  }
  return 1;
}

// A command's answer is its point: when standard output cannot take it all
// (a full disk, a closed descriptor) the command fails, whatever it did.
int FinishOutput(int status) {
  errno = 0;
  std::cout.flush();
  int error_number = errno;
  if (std::fflush(stdout) != 0 && error_number == 0) error_number = errno;
  if (!std::cout.fail() && !std::ferror(stdout)) return status;
  std::cerr << "zsepa: cannot write to standard output"
            << (error_number != 0
                    ? std::string(": ") + std::strerror(error_number)
                    : std::string())
            << "; the answer of the command is lost\n";
  return 1;
}

int Run(int argc, char** argv) {
  CLI::App app{
      "zsepa: writes Italian bank files from an accounting database.\n"
      "It writes CBI SEPA credit transfers, CBI cross-border transfers,\n"
      "ISO 20022 transfers and CBI SEPA direct debits, and reads "
      "direct-debit\nstatus reports.",
      "zsepa"};
  app.set_version_flag("--version", std::string("zsepa ") + ZSEPA_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Example:\n"
      "  zsepa demo --dir demo-out      # every demo file from examples/\n"
      "Run 'zsepa COMMAND --help' for the options of a command.");

  std::string init_path;
  bool init_demo = false;
  CLI::App* init = app.add_subcommand(
      "init-db", "Create an embedded database with the accounting schema");
  init->add_option("PATH", init_path,
                   "Database file to create (must not exist)")
      ->required();
  init->add_flag("--demo", init_demo, "Fill it with the demo company");
  init->footer("Example:\n  zsepa init-db accounting.db --demo");

  zsepa::cli::WriteOptions write;
  CLI::App* write_cmd = app.add_subcommand(
      "write", "Run a job file and save the bank file it describes");
  write_cmd->add_option("JOB", write.job, "Job file (JSON)")->required();
  write_cmd->add_option("--out", write.out, "Bank file to write")->required();
  AddDatabaseOptions(*write_cmd, write.database);
  write_cmd->add_flag("--json", write.json,
                      "Print the outcome as one JSON object");
  write_cmd->add_flag("--check", write.check,
                      "Run the pre-flight checks first (see 'zsepa check') "
                      "and write nothing when one finds an error");
  write_cmd->add_option(
      "--validate", write.validate_dir,
      "Folder with the XSD files: validate the file against the schema of "
      "its namespace and leave the target untouched when it is invalid");
  std::string write_profile;
  AddProfileOption(*write_cmd, write_profile, "The form of the file");
  write_cmd->footer(
      "Prints MsgId, NumeroTotaleTrasferimenti, ImportoTotaleTrasferimenti "
      "and the file.\nOn failure prints Stato and Errore on stderr, writes "
      "nothing and exits with 1.\nThe file kind follows FormatoFile (1 SEPA, 2 "
      "cross-border, 3 direct debit)\nand CodiceIsoLocalizzazione (\"FR\": "
      "the ISO 20022 file).\n"
      "Under --profile bank-2026 each change against the exact file is "
      "listed on stderr\n(\"adjustments\" with --json); an element the "
      "profile cannot write fails the save.\n"
      "Example (after: zsepa init-db demo.db --demo):\n"
      "  zsepa write examples/sepa.json --out sepa.xml --db demo.db\n"
      "  zsepa write examples/sepa.json --out sepa.xml --db demo.db --check "
      "--validate ../shared/xsd\n"
      "  zsepa write examples/sepa.json --out sepa.xml --db demo.db "
      "--profile bank-2026");

  zsepa::cli::CheckOptions check;
  CLI::App* check_cmd = app.add_subcommand(
      "check",
      "Run a job up to the point of saving and report what a bank "
      "would refuse");
  check_cmd->add_option("JOB", check.job, "Job file (JSON)")->required();
  AddDatabaseOptions(*check_cmd, check.database);
  check_cmd->add_flag("--json", check.json,
                      "Print the findings as one JSON object");
  check_cmd->footer(
      "Checks IBANs, BICs, Italian tax codes and VAT numbers, the creditor\n"
      "identifier and CUC, lengths and characters against the file kind's "
      "schema,\namounts and the control sum, dates, duplicates and the "
      "file's structure.\nPrints one line per finding (error: the bank or "
      "the schema refuses it;\nwarning: accepted but suspicious) and exits "
      "with 1 when there is an error.\nNothing is written.\n"
      "Example:\n"
      "  zsepa check examples/direct-debit.json --db demo.db");

  zsepa::cli::ReadStatusOptions status;
  CLI::App* status_cmd = app.add_subcommand(
      "read-status", "Read a direct-debit status report (LoadXml)");
  status_cmd->add_option("REPORT", status.report, "Status report (XML)")
      ->required();
  status_cmd
      ->add_option("--company", status.company,
                   "Company file (JSON, the \"ditta\" object of a job)")
      ->required();
  AddDatabaseOptions(*status_cmd, status.database);
  status_cmd->add_flag("--validate-only", status.validate_only,
                       "Check the report's header only");
  status_cmd->add_flag("--json", status.json,
                       "Print the outcome as one JSON object");
  status_cmd->add_flag(
      "--check", status.check,
      "Also check what banks get wrong and print the findings (code, "
      "element, line); they change the exit status only with --strict");
  status_cmd->add_flag(
      "--strict", status.strict,
      "Exit with 1 when a finding of --check is an error (implies --check)");
  status_cmd->footer(
      "Prints the outcome: result, Stato, Errore, batch key, "
      "MessageQualifier,\nRejectReason, AbiBanca, each item and the counts of "
      "unpaid and recalled items.\n"
      "--check adds the findings (\"findings\" with --json): GrpSts against "
      "MsgQual,\nthe rejected items counted and summed against "
      "DtldNbOfTxs/DtldCtrlSum and\nOrgnlNbOfTxs/OrgnlCtrlSum, items not in "
      "the batch in the database, repeated\nend-to-end identifiers, and each "
      "item's bank charges with their total.\n"
      "Example:\n"
      "  zsepa read-status report.xml --company examples/company.json "
      "--db demo.db --check");

  zsepa::cli::ValidateOptions validate;
  CLI::App* validate_cmd = app.add_subcommand(
      "validate", "Validate an XML file against its official schema");
  validate_cmd->add_option("FILE", validate.file, "XML file")->required();
  validate_cmd
      ->add_option("--xsd-dir", validate.xsd_dir,
                   "Folder with the XSD files; the one whose targetNamespace "
                   "is the file's root namespace is used")
      ->required();
  validate_cmd->add_flag("--json", validate.json,
                         "Print the outcome as one JSON object");
  validate_cmd->footer(
      "Exits with 0 when the file is valid, 1 otherwise.\n"
      "Example:\n"
      "  zsepa validate demo-out/sepa.xml --xsd-dir ../shared/xsd");

  zsepa::cli::DemoOptions demo{"demo-out", "", std::nullopt};
  CLI::App* demo_cmd = app.add_subcommand(
      "demo", "Create a demo database and write a file from each demo job");
  demo_cmd->add_option("--dir", demo.dir, "Output folder")
      ->capture_default_str();
  demo_cmd->add_option("--examples", demo.examples,
                       "Folder with the demo jobs (default: examples in the "
                       "working directory, else the installed examples)");
  std::string demo_profile;
  AddProfileOption(*demo_cmd, demo_profile, "The form of the files");
  demo_cmd->footer(
      "Example:\n  zsepa demo --dir demo-out\n"
      "  zsepa demo --dir demo-2026 --profile bank-2026");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help and version exit with 0.
    if (error.get_exit_code() == 0) return app.exit(error);
    return UsageError(app, error);
  }

  if (!write_profile.empty())
    write.profile = zsepa::ProfileNamed(write_profile);
  if (!demo_profile.empty()) demo.profile = zsepa::ProfileNamed(demo_profile);

  if (init->parsed()) return zsepa::cli::InitDb(init_path, init_demo);
  if (write_cmd->parsed()) return zsepa::cli::Write(write);
  if (check_cmd->parsed()) return zsepa::cli::Check(check);
  if (status_cmd->parsed()) return zsepa::cli::ReadStatus(status);
  if (validate_cmd->parsed()) return zsepa::cli::Validate(validate);
  if (demo_cmd->parsed()) return zsepa::cli::Demo(demo);
  return 1;
}

// The program owns its process. A large write allocates hundreds of
// megabytes in small pieces, and first touches of fresh pages cost about a
// third of its CPU time; glibc's malloc can back its heap with transparent
// huge pages, and can keep even the largest blocks (the job's text, the
// JSON reader's index) in the heap, where the memory they leave is used
// again instead of being returned and touched afresh; it reads those
// settings only when a process starts. So the program starts itself once
// more with them, unless GLIBC_TUNABLES is already set (even empty): then
// the caller's settings stand. A library linked into a host never does this.
void TuneTheHeap(char** argv) {
#ifdef __GLIBC__
  if (std::getenv("GLIBC_TUNABLES") != nullptr) return;
  constexpr char kTunables[] = "glibc.malloc.hugetlb=1:glibc.malloc.mmap_max=0";
  if (setenv("GLIBC_TUNABLES", kTunables, 0) != 0) return;
  execv("/proc/self/exe", argv);
  // Not started again (no /proc): go on with the usual heap.
  unsetenv("GLIBC_TUNABLES");
#else
  (void)argv;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  TuneTheHeap(argv);
  int status = 1;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc&) {
    // The commands report it with their Stato; this is what escapes them.
    std::cerr << "zsepa: failed\n  Stato:  7 (0x00000007)\n"
              << "  Errore: Out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << "zsepa: failed: " << error.what() << "\n";
  }
  return FinishOutput(status);
}
