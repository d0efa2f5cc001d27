#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "tools/commands.h"

namespace {

using zsepa::cli::DatabaseChoice;

void AddDatabaseOptions(CLI::App& command, DatabaseChoice& database) {
  CLI::Option* db = command.add_option(
      "--db", database.db_path,
      "Embedded database file (default: zsepa.db in the working directory, "
      "created with the demo company on first use)");
  CLI::Option* odbc = command.add_option(
      "--odbc", database.odbc,
      "ODBC connection string, e.g. \"DSN=accounting;UID=...;PWD=...\" "
      "(a Driver naming SQLite selects the SQLite dialect)");
  db->excludes(odbc);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "zsepa: writes Italian bank files (CBI SEPA and cross-border credit "
      "transfers, ISO 20022 pain.001.001.03, CBI SEPA direct debits) from an "
      "accounting database, and reads direct-debit status reports.",
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
  write_cmd->footer(
      "Prints MsgId, NumeroTotaleTrasferimenti, ImportoTotaleTrasferimenti "
      "and the file.\nOn failure prints Stato and Errore on stderr, writes "
      "nothing and exits with 1.\n"
      "Example (after: zsepa init-db demo.db --demo):\n"
      "  zsepa write examples/sepa.json --out sepa.xml --db demo.db");

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
  status_cmd->footer(
      "Example:\n"
      "  zsepa read-status report.xml --company examples/company.json "
      "--db demo.db");

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

  zsepa::cli::DemoOptions demo{"demo-out", ZSEPA_EXAMPLES_DIR};
  CLI::App* demo_cmd = app.add_subcommand(
      "demo",
      "Create a demo database and write every file kind from the demo jobs");
  demo_cmd->add_option("--dir", demo.dir, "Output folder")
      ->capture_default_str();
  demo_cmd->add_option("--examples", demo.examples, "Folder with the demo jobs")
      ->capture_default_str();
  demo_cmd->footer("Example:\n  zsepa demo --dir demo-out");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help and version exit with 0, usage errors with 1.
    return app.exit(error) == 0 ? 0 : 1;
  }

  if (init->parsed()) return zsepa::cli::InitDb(init_path, init_demo);
  if (write_cmd->parsed()) return zsepa::cli::Write(write);
  if (status_cmd->parsed()) return zsepa::cli::ReadStatus(status);
  if (validate_cmd->parsed()) return zsepa::cli::Validate(validate);
  if (demo_cmd->parsed()) return zsepa::cli::Demo(demo);
  return 1;
}
