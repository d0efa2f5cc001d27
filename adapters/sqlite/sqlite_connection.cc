#include "zsepa/sqlite_connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "adapters/sqlite/dialect.h"
#include "adapters/sqlite/embedded_sql.h"
#include "adapters/sqlite/functions.h"
#include "adapters/sqlite/statement_shape.h"
#include "base/ascii.h"
#include "base/recordset_errors.h"
#include "zsepa/error.h"

namespace zsepa::sqlite {
namespace {

constexpr char kSource[] = "SQLite";
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const noexcept {
    sqlite3_finalize(statement);
  }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void Raise(sqlite3* db, int rc) {
  throw Error(rc, kSource,
              db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

// Position after the blanks and comments from `pos` on.
size_t SkipBlanksAndComments(std::string_view text, size_t pos) {
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' ||
        c == '\v') {
      ++pos;
    } else if (text.substr(pos, 2) == "--") {
      const size_t eol = text.find('\n', pos);
      pos = eol == std::string_view::npos ? text.size() : eol + 1;
    } else if (text.substr(pos, 2) == "/*") {
      const size_t close = text.find("*/", pos + 2);
      pos = close == std::string_view::npos ? text.size() : close + 2;
    } else {
      break;
    }
  }
  return pos;
}

// A prepared statement with the names and kinds of its columns. One that
// the connection's cache keeps is reset for the next use when its recordset
// closes; any other is finalized with its recordset.
struct Prepared {
  explicit Prepared(Statement prepared) : statement(std::move(prepared)) {
    const int count = sqlite3_column_count(statement.get());
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(statement.get(), i);
      const char* type = sqlite3_column_decltype(statement.get(), i);
      names.emplace_back(name != nullptr ? name : "");
      types.emplace_back(type != nullptr ? type : "");
      is_date.push_back(EqualsIgnoreCase(types.back(), "DATE") ||
                        EqualsIgnoreCase(types.back(), "DATETIME"));
    }
  }

  Statement statement;
  std::vector<std::string> names;
  std::vector<std::string> types;
  std::vector<bool> is_date;
  bool cached = false;
  bool in_use = false;
};

class SqliteRecordset final : public db::Recordset {
 public:
  explicit SqliteRecordset(std::shared_ptr<Prepared> prepared)
      : prepared_(std::move(prepared)) {
    Step();
  }
  ~SqliteRecordset() override { Close(); }

  bool Eof() const override { return !row_; }

  Variant Field(std::string_view name) const override {
    if (prepared_ != nullptr) {
      const std::vector<std::string>& names = prepared_->names;
      for (size_t i = 0; i < names.size(); ++i) {
        if (EqualsIgnoreCase(names[i], name)) {
          return Field(static_cast<int32_t>(i));
        }
      }
    }
    CheckOpen();
    db::RaiseItemNotFound(kSource, name);
  }

  Variant Field(int32_t index) const override {
    CheckOpen();
    const std::vector<std::string>& names = prepared_->names;
    if (index < 0 || static_cast<size_t>(index) >= names.size()) {
      db::RaiseItemNotFound(kSource, std::to_string(index));
    }
    CheckRow();
    sqlite3_stmt* s = prepared_->statement.get();
    const bool is_date = prepared_->is_date[index];
    switch (sqlite3_column_type(s, index)) {
      case SQLITE_NULL:
        return Variant::Null();
      case SQLITE_INTEGER:
        if (!is_date) {
          const sqlite3_int64 value = sqlite3_column_int64(s, index);
          if (value >= std::numeric_limits<int32_t>::min() &&
              value <= std::numeric_limits<int32_t>::max()) {
            return static_cast<int32_t>(value);
          }
          return static_cast<int64_t>(value);
        }
        break;
      case SQLITE_FLOAT:
        if (!is_date) return sqlite3_column_double(s, index);
        break;
      default:
        break;
    }
    // Text and blobs: sqlite3_column_text gives the bytes of either.
    const auto* bytes =
        reinterpret_cast<const char*>(sqlite3_column_text(s, index));
    std::string text(bytes != nullptr ? bytes : "",
                     static_cast<size_t>(sqlite3_column_bytes(s, index)));
    if (!is_date) return text;
    if (auto date = Date::Parse(text)) return *date;
    throw Error(rt::kTypeMismatch, kSource,
                "Column " + names[index] + " holds '" + text +
                    "', which is not a date (YYYY-MM-DD or YYYY-MM-DD "
                    "hh:mm:ss)");
  }

  void MoveNext() override {
    CheckOpen();
    CheckRow();
    Step();
  }

  void Close() noexcept override {
    if (prepared_ != nullptr && prepared_->cached) {
      sqlite3_reset(prepared_->statement.get());
      sqlite3_clear_bindings(prepared_->statement.get());
      prepared_->in_use = false;
    }
    prepared_.reset();
    row_ = false;
  }

 private:
  void Step() {
    const int rc = sqlite3_step(prepared_->statement.get());
    if (rc == SQLITE_ROW) {
      row_ = true;
    } else if (rc == SQLITE_DONE) {
      row_ = false;
    } else {
      row_ = false;
      Raise(sqlite3_db_handle(prepared_->statement.get()), rc);
    }
  }

  void CheckOpen() const {
    if (prepared_ == nullptr) {
      db::RaiseObjectClosed(kSource);
    }
  }

  void CheckRow() const {
    if (!row_) {
      db::RaiseNoCurrentRecord(kSource);
    }
  }

  std::shared_ptr<Prepared> prepared_;
  bool row_ = false;
};

// Prepares the one statement of `text`, refusing text that goes on after it.
Statement PrepareOne(sqlite3* db, const std::string& text) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, text.data(),
                                    static_cast<int>(text.size()), &raw, &tail);
  Statement statement(raw);
  if (rc != SQLITE_OK) Raise(db, rc);
  if (!statement) {
    throw Error(SQLITE_MISUSE, kSource, "The SQL text holds no statement");
  }
  const size_t rest = SkipBlanksAndComments(
      text,
      tail != nullptr ? static_cast<size_t>(tail - text.data()) : text.size());
  if (rest < text.size()) {
    size_t end = std::min(text.size(), rest + 40);
    while (end < text.size() && (text[end] & 0xC0) == 0x80) ++end;
    throw Error(SQLITE_MISUSE, kSource,
                "Only one statement can be run at a time; the SQL text goes "
                "on after the first: " +
                    text.substr(rest, end - rest));
  }
  return statement;
}

// Binds the lifted literals; false when SQLite refuses one.
bool Bind(sqlite3_stmt* statement, const std::vector<Literal>& literals) {
  for (size_t i = 0; i < literals.size(); ++i) {
    const Literal& literal = literals[i];
    const int index = static_cast<int>(i + 1);
    const int rc =
        literal.is_text
            ? sqlite3_bind_text(statement, index, literal.text.data(),
                                static_cast<int>(literal.text.size()),
                                SQLITE_TRANSIENT)
            : sqlite3_bind_int64(statement, index, literal.integer);
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

// The statement of `shape` when it can stand for `plain`: it prepares as
// one statement with one parameter per literal, and its columns have the
// names and declared types of the plain statement's (a column named after
// its expression would otherwise be named after the parameter). nullptr when
// it cannot.
std::shared_ptr<Prepared> PrepareShape(sqlite3* db, const StatementShape& shape,
                                       const Prepared& plain) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(
      db, shape.text.data(), static_cast<int>(shape.text.size()), &raw, &tail);
  Statement statement(raw);
  if (rc != SQLITE_OK || !statement ||
      SkipBlanksAndComments(shape.text,
                            static_cast<size_t>(tail - shape.text.data())) !=
          shape.text.size() ||
      sqlite3_bind_parameter_count(raw) !=
          static_cast<int>(shape.literals.size())) {
    return nullptr;
  }
  auto prepared = std::make_shared<Prepared>(std::move(statement));
  if (prepared->names != plain.names || prepared->types != plain.types) {
    return nullptr;
  }
  for (const std::string& name : prepared->names) {
    if (name.find('?') != std::string::npos) return nullptr;
  }
  prepared->cached = true;
  return prepared;
}

int64_t QueryInteger(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) Raise(db, rc);
  const int step = sqlite3_step(raw);
  if (step != SQLITE_ROW) Raise(db, step);
  return sqlite3_column_int64(raw, 0);
}

// Runs `script` in one transaction; on failure rolls back and raises.
void RunInTransaction(SqliteConnection& connection, std::string_view script) {
  connection.ExecuteScript("BEGIN");
  try {
    connection.ExecuteScript(std::string(script));
    connection.ExecuteScript("COMMIT");
  } catch (...) {
    try {
      connection.ExecuteScript("ROLLBACK");
    } catch (const Error&) {
      // The failure that matters is the one being raised.
    }
    throw;
  }
}

}  // namespace

void SqliteConnection::HandleCloser::operator()(
    sqlite3* handle) const noexcept {
  // close_v2 defers the close until the last open recordset is finalized.
  sqlite3_close_v2(handle);
}

std::unique_ptr<SqliteConnection> SqliteConnection::Connect(
    const std::string& path, int flags, Options options) {
  if (path.empty()) {
    throw Error(SQLITE_CANTOPEN, kSource, "No database file was named");
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Handle handle(raw);
  if (rc != SQLITE_OK) {
    throw Error(
        rc, kSource,
        std::string(raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)) +
            ": " + path);
  }
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  const int registered = RegisterFunctions(raw, std::move(options.clock));
  if (registered != SQLITE_OK) Raise(raw, registered);
  return std::unique_ptr<SqliteConnection>(
      new SqliteConnection(std::move(handle)));
}

std::unique_ptr<SqliteConnection> SqliteConnection::Open(
    const std::string& path, Options options) {
  auto connection = Connect(path, SQLITE_OPEN_READWRITE, std::move(options));
  // Reading the schema version also proves that the file is a database.
  const int64_t version =
      QueryInteger(connection->handle_.get(), "PRAGMA user_version");
  if (version > kSchemaVersion) {
    throw Error(SQLITE_ERROR, kSource,
                "The database " + path + " has schema version " +
                    std::to_string(version) + "; this program knows up to " +
                    std::to_string(kSchemaVersion));
  }
  return connection;
}

std::unique_ptr<SqliteConnection> SqliteConnection::Create(
    const std::string& path, Options options) {
  return CreateFromSchema(path, std::move(options), SchemaV1Sql());
}

std::unique_ptr<SqliteConnection> SqliteConnection::CreateFromSchema(
    const std::string& path, Options options, std::string_view schema) {
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(path, ec);
  if (!path.empty() && status.type() != std::filesystem::file_type::not_found) {
    throw Error(SQLITE_CANTOPEN, kSource,
                "The database file already exists: " + path);
  }
  auto connection = Connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            std::move(options));
  try {
    RunInTransaction(*connection, schema);
  } catch (...) {
    connection.reset();
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      std::filesystem::remove(path + suffix, ec);
    }
    throw;
  }
  return connection;
}

// Statements by shape; nullptr for a shape that cannot stand for its
// statements. At most kMaxShapes are kept: the system's lookups are a few
// dozen texts.
struct SqliteConnection::StatementCache {
  static constexpr size_t kMaxShapes = 256;
  std::unordered_map<std::string, std::shared_ptr<Prepared>> shapes;
};

SqliteConnection::SqliteConnection(Handle handle)
    : handle_(std::move(handle)), cache_(std::make_unique<StatementCache>()) {}

SqliteConnection::~SqliteConnection() = default;

std::unique_ptr<db::Recordset> SqliteConnection::Execute(
    const std::string& sql) {
  const std::string text = RewriteDialect(sql);
  sqlite3* db = handle_.get();
  // A statement whose shape is known runs on the shape's prepared statement
  // with its literals bound (unless an open recordset still reads it); the
  // first of a shape runs as it is and teaches the cache.
  std::optional<StatementShape> shape = ShapeOf(text);
  bool known = false;
  if (shape) {
    const auto found = cache_->shapes.find(shape->text);
    known = found != cache_->shapes.end();
    const std::shared_ptr<Prepared>& prepared = known ? found->second : nullptr;
    if (prepared != nullptr && !prepared->in_use) {
      if (Bind(prepared->statement.get(), shape->literals)) {
        prepared->in_use = true;
        return std::make_unique<SqliteRecordset>(prepared);
      }
      sqlite3_clear_bindings(prepared->statement.get());
    }
  }
  auto plain = std::make_shared<Prepared>(PrepareOne(db, text));
  if (shape && !known && cache_->shapes.size() < StatementCache::kMaxShapes) {
    std::shared_ptr<Prepared> prepared = PrepareShape(db, *shape, *plain);
    cache_->shapes.emplace(std::move(shape->text), std::move(prepared));
  }
  return std::make_unique<SqliteRecordset>(std::move(plain));
}

bool SqliteConnection::BeginReads() {
  sqlite3* db = handle_.get();
  if (sqlite3_get_autocommit(db) == 0) return false;
  // A deferred transaction takes its read lock at the first statement and
  // keeps it to the end, so each lookup no longer locks the file itself.
  return sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteConnection::EndReads() noexcept {
  sqlite3* db = handle_.get();
  if (sqlite3_get_autocommit(db) != 0) return;
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

void SqliteConnection::ExecuteScript(const std::string& sql) {
  char* message = nullptr;
  const int rc =
      sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text =
        message != nullptr ? message : sqlite3_errmsg(handle_.get());
    sqlite3_free(message);
    throw Error(rc, kSource, std::move(text));
  }
}

void FillDemoData(SqliteConnection& connection) {
  RunInTransaction(connection, DemoDataSql());
}

}  // namespace zsepa::sqlite
