#include "zsepa/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <array>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "adapters/sqlite/dialect.h"
#include "base/ascii.h"
#include "base/recordset_errors.h"
#include "zsepa/date.h"
#include "zsepa/error.h"
#include "zsepa/variant.h"

namespace zsepa::odbc {
namespace {

constexpr char kSource[] = "ODBC";

// At most this many diagnostic records go into one error description.
constexpr SQLSMALLINT kMaxDiagnostics = 8;

static_assert(sizeof(SQLWCHAR) == 2, "character data is read as UTF-16");

template <SQLSMALLINT kType>
struct FreeHandle {
  void operator()(SQLHANDLE handle) const noexcept {
    SQLFreeHandle(kType, handle);
  }
};

using EnvironmentOwner = std::unique_ptr<void, FreeHandle<SQL_HANDLE_ENV>>;
using StatementOwner = std::unique_ptr<void, FreeHandle<SQL_HANDLE_STMT>>;

// A connection handle is disconnected before it is freed once it has
// connected.
struct FreeConnection {
  bool connected = false;
  void operator()(SQLHANDLE handle) const noexcept {
    if (connected) SQLDisconnect(handle);
    SQLFreeHandle(SQL_HANDLE_DBC, handle);
  }
};
using ConnectionOwner = std::unique_ptr<void, FreeConnection>;

std::string TrimRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' ||
                           text.back() == '\r' || text.back() == '\t')) {
    text.pop_back();
  }
  return text;
}

// Raises the diagnostics of `handle` as one zsepa::Error: the first non-zero
// native error number as code, every record as "SQLSTATE <state>: <text>".
[[noreturn]] void RaiseDiagnostics(SQLSMALLINT type, SQLHANDLE handle,
                                   std::string_view operation) {
  int32_t code = 0;
  std::string description;
  std::vector<SQLCHAR> text(1024);
  for (SQLSMALLINT record = 1; record <= kMaxDiagnostics; ++record) {
    std::array<SQLCHAR, SQL_SQLSTATE_SIZE + 1> state{};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc =
        SQLGetDiagRec(type, handle, record, state.data(), &native, text.data(),
                      static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO &&
        static_cast<size_t>(length) >= text.size()) {
      text.resize(static_cast<size_t>(length) + 1);
      rc = SQLGetDiagRec(type, handle, record, state.data(), &native,
                         text.data(), static_cast<SQLSMALLINT>(text.size()),
                         &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    if (code == 0) code = native;
    if (!description.empty()) description += "; ";
    description += "SQLSTATE ";
    description += reinterpret_cast<const char*>(state.data());
    description += ": ";
    description += TrimRight(reinterpret_cast<const char*>(text.data()));
  }
  if (description.empty()) {
    description = "SQLSTATE HY000: " + std::string(operation) + " failed";
  }
  throw Error(code != 0 ? code : codes::kUnspecifiedFailure, kSource,
              std::move(description));
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle,
           std::string_view operation) {
  if (!SQL_SUCCEEDED(rc)) RaiseDiagnostics(type, handle, operation);
}

void AppendUtf8(char32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::vector<SQLWCHAR>& units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() &&
        units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      unit = 0xFFFD;
    }
    AppendUtf8(unit, out);
  }
  return out;
}

// Reads a fixed-size value; false when the field is SQL NULL.
template <typename T>
std::optional<T> GetFixed(SQLHSTMT statement, SQLUSMALLINT column,
                          SQLSMALLINT c_type) {
  T value{};
  SQLLEN indicator = 0;
  Check(
      SQLGetData(statement, column, c_type, &value, sizeof(value), &indicator),
      SQL_HANDLE_STMT, statement, "SQLGetData");
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

// Reads character (and any other) data as UTF-16 in chunks, so that values
// of any length come back whole.
Variant GetText(SQLHSTMT statement, SQLUSMALLINT column) {
  std::array<SQLWCHAR, 2048> chunk;
  constexpr auto kChunkBytes = static_cast<SQLLEN>(sizeof(chunk));
  std::vector<SQLWCHAR> units;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement, column, SQL_C_WCHAR, chunk.data(),
                              kChunkBytes, &indicator);
    if (rc == SQL_NO_DATA) break;
    Check(rc, SQL_HANDLE_STMT, statement, "SQLGetData");
    if (indicator == SQL_NULL_DATA) return Variant::Null();
    // Truncated: the chunk holds as much as fits before its terminator.
    bool more = rc == SQL_SUCCESS_WITH_INFO &&
                (indicator == SQL_NO_TOTAL || indicator >= kChunkBytes);
    size_t count = more ? chunk.size() - 1
                        : static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
    units.insert(units.end(), chunk.begin(), chunk.begin() + count);
    if (!more) break;
  }
  return Variant(Utf16ToUtf8(units));
}

Variant IntegerVariant(SQLSMALLINT sql_type, int64_t value) {
  if ((sql_type == SQL_SMALLINT || sql_type == SQL_TINYINT) &&
      value >= std::numeric_limits<int16_t>::min() &&
      value <= std::numeric_limits<int16_t>::max()) {
    return Variant(static_cast<int16_t>(value));
  }
  if (sql_type != SQL_BIGINT && value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    return Variant(static_cast<int32_t>(value));
  }
  return Variant(value);
}

// One field of the current row, as the column's SQL type says.
Variant ReadField(SQLHSTMT statement, SQLUSMALLINT column,
                  SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_BIT: {
      const auto value = GetFixed<unsigned char>(statement, column, SQL_C_BIT);
      if (!value) return Variant::Null();
      return Variant(*value != 0);
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      // Read as 64 bits: a driver that types a wider value as INTEGER (SQLite)
      // must not truncate it.
      const auto value = GetFixed<SQLBIGINT>(statement, column, SQL_C_SBIGINT);
      if (!value) return Variant::Null();
      return IntegerVariant(sql_type, *value);
    }
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: {
      const auto value = GetFixed<double>(statement, column, SQL_C_DOUBLE);
      if (!value) return Variant::Null();
      return Variant(*value);
    }
    case SQL_TYPE_DATE:
    case SQL_DATE: {
      const auto value =
          GetFixed<SQL_DATE_STRUCT>(statement, column, SQL_C_TYPE_DATE);
      if (!value) return Variant::Null();
      return Variant(Date::FromParts(value->year, value->month, value->day));
    }
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: {
      const auto value = GetFixed<SQL_TIMESTAMP_STRUCT>(statement, column,
                                                        SQL_C_TYPE_TIMESTAMP);
      if (!value) return Variant::Null();
      // Dates have second resolution: the fraction is dropped.
      return Variant(Date::FromParts(value->year, value->month, value->day,
                                     value->hour, value->minute,
                                     value->second));
    }
    case SQL_TYPE_TIME:
    case SQL_TIME: {
      const auto value =
          GetFixed<SQL_TIME_STRUCT>(statement, column, SQL_C_TYPE_TIME);
      if (!value) return Variant::Null();
      return Variant(Date::FromParts(1899, 12, 30, value->hour, value->minute,
                                     value->second));
    }
    default:
      return GetText(statement, column);
  }
}

struct Column {
  std::string name;
  SQLSMALLINT sql_type = SQL_UNKNOWN_TYPE;
};

std::vector<Column> DescribeColumns(SQLHSTMT statement) {
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(statement, &count), SQL_HANDLE_STMT, statement,
        "SQLNumResultCols");
  std::vector<Column> columns;
  std::vector<SQLCHAR> name(256);
  for (SQLUSMALLINT i = 1; i <= count; ++i) {
    Column column;
    SQLSMALLINT length = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    auto describe = [&] {
      return SQLDescribeCol(statement, i, name.data(),
                            static_cast<SQLSMALLINT>(name.size()), &length,
                            &column.sql_type, &size, &digits, &nullable);
    };
    SQLRETURN rc = describe();
    if (rc == SQL_SUCCESS_WITH_INFO &&
        static_cast<size_t>(length) >= name.size()) {
      name.resize(static_cast<size_t>(length) + 1);
      rc = describe();
    }
    Check(rc, SQL_HANDLE_STMT, statement, "SQLDescribeCol");
    column.name = reinterpret_cast<const char*>(name.data());
    columns.push_back(std::move(column));
  }
  return columns;
}

class OdbcRecordset final : public db::Recordset {
 public:
  OdbcRecordset(std::shared_ptr<OdbcConnection::Handles> handles,
                StatementOwner statement, std::vector<Column> columns)
      : handles_(std::move(handles)),
        statement_(std::move(statement)),
        columns_(std::move(columns)) {
    if (columns_.empty()) {
      // No result set: an open recordset at EOF.
      statement_.reset();
      eof_ = true;
    } else {
      Fetch();
    }
  }

  bool Eof() const override { return eof_; }

  Variant Field(std::string_view name) const override {
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (EqualsIgnoreCase(columns_[i].name, name)) return Current(i);
    }
    db::RaiseItemNotFound(kSource, name);
  }

  Variant Field(int32_t index) const override {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size()) {
      db::RaiseItemNotFound(kSource, std::to_string(index));
    }
    return Current(static_cast<size_t>(index));
  }

  void MoveNext() override {
    RequireCurrentRow();
    Fetch();
  }

  void Close() override {
    statement_.reset();
    row_.clear();
    eof_ = true;
    closed_ = true;
  }

 private:
  void RequireCurrentRow() const {
    if (closed_) {
      db::RaiseObjectClosed(kSource);
    }
    if (eof_) {
      db::RaiseNoCurrentRecord(kSource);
    }
  }

  Variant Current(size_t index) const {
    RequireCurrentRow();
    return row_[index];
  }

  // Moves onto the next row and reads it whole (drivers return the fields of
  // a row only in column order). At the end the statement is released.
  void Fetch() {
    SQLHSTMT statement = statement_.get();
    SQLRETURN rc = SQLFetch(statement);
    if (rc == SQL_NO_DATA) {
      statement_.reset();
      row_.clear();
      eof_ = true;
      return;
    }
    Check(rc, SQL_HANDLE_STMT, statement, "SQLFetch");
    std::vector<Variant> row;
    row.reserve(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      row.push_back(ReadField(statement, static_cast<SQLUSMALLINT>(i + 1),
                              columns_[i].sql_type));
    }
    row_ = std::move(row);
  }

  // Declared first so that the statement is freed before the connection.
  std::shared_ptr<OdbcConnection::Handles> handles_;
  StatementOwner statement_;
  std::vector<Column> columns_;
  std::vector<Variant> row_;
  bool eof_ = false;
  bool closed_ = false;
};

}  // namespace

struct OdbcConnection::Handles {
  // Declared first so that the environment is freed last.
  EnvironmentOwner environment;
  ConnectionOwner connection;
};

OdbcConnection::OdbcConnection(std::shared_ptr<Handles> handles,
                               Dialect dialect)
    : handles_(std::move(handles)), dialect_(dialect) {}

OdbcConnection::~OdbcConnection() = default;

std::unique_ptr<OdbcConnection> OdbcConnection::Open(
    const std::string& connection_string, Dialect dialect) {
  auto handles = std::make_shared<Handles>();

  SQLHANDLE environment = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(
          SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
    throw Error(codes::kUnspecifiedFailure, kSource,
                "SQLSTATE HY001: cannot allocate an ODBC environment");
  }
  handles->environment.reset(environment);
  Check(SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_HANDLE_ENV, environment, "SQLSetEnvAttr");

  SQLHANDLE connection = SQL_NULL_HANDLE;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection),
        SQL_HANDLE_ENV, environment, "SQLAllocHandle");
  handles->connection.reset(connection);

  if (connection_string.size() >
      static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max())) {
    throw Error(codes::kUnspecifiedFailure, kSource,
                "SQLSTATE HY090: connection string too long");
  }
  std::vector<SQLCHAR> text(connection_string.begin(), connection_string.end());
  text.push_back('\0');
  SQLSMALLINT out_length = 0;
  Check(SQLDriverConnect(connection, nullptr, text.data(),
                         static_cast<SQLSMALLINT>(connection_string.size()),
                         nullptr, 0, &out_length, SQL_DRIVER_NOPROMPT),
        SQL_HANDLE_DBC, connection, "SQLDriverConnect");
  handles->connection.get_deleter().connected = true;

  return std::unique_ptr<OdbcConnection>(
      new OdbcConnection(std::move(handles), dialect));
}

std::unique_ptr<db::Recordset> OdbcConnection::Execute(const std::string& sql) {
  std::string text =
      dialect_ == Dialect::kSqlite ? sqlite::RewriteDialect(sql) : sql;
  if (text.size() >
      static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max())) {
    throw Error(codes::kUnspecifiedFailure, kSource,
                "SQLSTATE HY090: statement too long");
  }

  SQLHDBC connection = handles_->connection.get();
  SQLHANDLE handle = SQL_NULL_HANDLE;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle), SQL_HANDLE_DBC,
        connection, "SQLAllocHandle");
  StatementOwner statement(handle);

  std::vector<SQLCHAR> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  SQLRETURN rc = SQLExecDirect(handle, buffer.data(),
                               static_cast<SQLINTEGER>(text.size()));
  // SQL_NO_DATA: a searched update or delete that touched no row.
  if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, handle, "SQLExecDirect");
  std::vector<Column> columns =
      rc == SQL_NO_DATA ? std::vector<Column>{} : DescribeColumns(handle);
  return std::make_unique<OdbcRecordset>(handles_, std::move(statement),
                                         std::move(columns));
}

}  // namespace zsepa::odbc
