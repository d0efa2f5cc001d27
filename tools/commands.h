#ifndef ZSEPA_TOOLS_COMMANDS_H_
#define ZSEPA_TOOLS_COMMANDS_H_

#include <string>

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
  // Empty: examples in the working directory when it exists, else the
  // installed examples (share/zsepa/examples beside the program's bin/).
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
