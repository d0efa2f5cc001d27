#ifndef ZSEPA_TOOLS_COMMANDS_H_
#define ZSEPA_TOOLS_COMMANDS_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "zsepa/checks.h"
#include "zsepa/profile.h"

namespace zsepa::cli {

// Where the accounting database is: an embedded database file, an ODBC
// connection string, or (both empty) the existing file named by the ZSEPA_DB
// environment variable, else an existing zsepa.db in the working directory.
// No command but demo ever creates a database on its own.
struct DatabaseChoice {
  std::string db_path;
  std::string odbc;
};

struct WriteOptions {
  std::string job;
  std::string out;
  DatabaseChoice database;
  bool json = false;
  // Opt-in guards before the save; without them write behaves as it always
  // did. `check`: run the pre-flight checks and write nothing when one finds
  // an error. `validate_dir`: validate the file against the official schema
  // of its namespace in that folder before it replaces the target, which an
  // invalid file leaves untouched.
  bool check = false;
  std::string validate_dir;
  // The form of the file (--profile); it wins over the job's "profile" key.
  // Neither given: the exact file.
  std::optional<FileProfile> profile;
};

struct CheckOptions {
  std::string job;
  DatabaseChoice database;
  bool json = false;
};

struct ReadStatusOptions {
  std::string report;
  std::string company;
  DatabaseChoice database;
  bool validate_only = false;
  bool json = false;
  // Opt-in: print the report checks' findings after the outcome (`check`),
  // and exit with 1 when one of them is an error (`strict`, which implies
  // `check`). Without them the command prints and exits as it always did.
  bool check = false;
  bool strict = false;
};

struct ValidateOptions {
  std::string file;
  std::string xsd_dir;
  bool json = false;
};

struct DemoOptions {
  std::string dir;
  // Empty: examples in the working directory when it exists, else the
  // installed examples (share/zsepa/examples beside the program's bin/).
  std::string examples;
  // As for write: over each job's "profile" key.
  std::optional<FileProfile> profile;
};

// Each command prints its outcome (stdout) and problems (stderr) and gives
// the exit status: 0 on success, 1 otherwise.
int InitDb(const std::string& path, bool demo);
int Write(const WriteOptions& options);
int ReadStatus(const ReadStatusOptions& options);
int Validate(const ValidateOptions& options);
// Runs a job up to the point of saving and prints what the pre-flight
// checks find; 0 when nothing is an error (tools/check_command.cc).
int Check(const CheckOptions& options);
int Demo(const DemoOptions& options);

// What running a job up to the point of saving gave: the checks' findings
// for the file kind, or the failure that stopped the job.
struct CheckOutcome {
  bool ran = false;
  int32_t stato = 0;
  std::string errore;
  std::string kind;  // the file kind, as the demo table names it
  std::vector<Finding> findings;
};
// The job of `options` on its database, then CheckBeforeSave (commands.cc).
CheckOutcome RunCheck(const CheckOptions& options);

// The findings as an aligned table, one line each, and as JSON objects
// (tools/check_command.cc); a finding's "written" is in the JSON object only
// when the profile wrote something instead of the value.
void PrintFindings(const std::vector<Finding>& findings, std::ostream& out);
nlohmann::ordered_json FindingsJson(const std::vector<Finding>& findings);

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_COMMANDS_H_
