#ifndef ZSEPA_TOOLS_COMMANDS_H_
#define ZSEPA_TOOLS_COMMANDS_H_

#include <string>

namespace zsepa::cli {

// Where the accounting database is: an embedded database file, an ODBC
// connection string, or (both empty) zsepa.db in the working directory,
// created with the schema and the demo company on first use.
struct DatabaseChoice {
  std::string db_path;
  std::string odbc;
};

struct WriteOptions {
  std::string job;
  std::string out;
  DatabaseChoice database;
  bool json = false;
};

struct ReadStatusOptions {
  std::string report;
  std::string company;
  DatabaseChoice database;
  bool validate_only = false;
  bool json = false;
};

struct ValidateOptions {
  std::string file;
  std::string xsd_dir;
  bool json = false;
};

struct DemoOptions {
  std::string dir;
  std::string examples;
};

// Each command prints its outcome (stdout) and problems (stderr) and gives
// the exit status: 0 on success, 1 otherwise.
int InitDb(const std::string& path, bool demo);
int Write(const WriteOptions& options);
int ReadStatus(const ReadStatusOptions& options);
int Validate(const ValidateOptions& options);
int Demo(const DemoOptions& options);

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_COMMANDS_H_
