#ifndef ZSEPA_DB_TESTING_FAKE_CONNECTION_H_
#define ZSEPA_DB_TESTING_FAKE_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zsepa/connection.h"
#include "zsepa/error.h"
#include "zsepa/variant.h"

namespace zsepa::db::testing {

// The scripted result of one statement: column names and rows, or an error
// that Execute raises.
struct FakeResult {
  std::vector<std::string> columns;
  std::vector<std::vector<Variant>> rows;
  std::optional<Error> error;
  // Close() of its recordset raises this error (after counting it closed).
  std::optional<Error> close_error;

  static FakeResult Rows(std::vector<std::string> columns,
                         std::vector<std::vector<Variant>> rows) {
    return FakeResult{std::move(columns), std::move(rows), {}, {}};
  }
  // One row with one column.
  static FakeResult Scalar(const std::string& column, Variant value) {
    return Rows({column}, {{std::move(value)}});
  }
  static FakeResult Empty(std::vector<std::string> columns = {}) {
    return Rows(std::move(columns), {});
  }
  // This result, with a Close() that raises -9 "chiusura fallita".
  FakeResult ClosesBadly() const {
    FakeResult result = *this;
    result.close_error.emplace(-9, "FakeRecordset", "chiusura fallita");
    return result;
  }
  static FakeResult Fails(int32_t code, std::string message) {
    FakeResult result;
    result.error.emplace(code, "FakeConnection", std::move(message));
    return result;
  }
};

// A connection for tests at the database port. Each statement is answered by
// the first script entry whose fragment it contains (or the default result);
// every SQL text is recorded; Execute can be made to fail on its n-th call
// or always; recordsets are counted so that a test can prove that each one
// was closed (Close() or destruction) on success and failure alike.
class FakeConnection final : public Connection {
 public:
  // Answers statements that contain `fragment` with `result`.
  FakeConnection& On(std::string fragment, FakeResult result) {
    script_.emplace_back(std::move(fragment), std::move(result));
    return *this;
  }
  // The answer to statements that match no fragment (no row by default).
  FakeConnection& Otherwise(FakeResult result) {
    default_ = std::move(result);
    return *this;
  }
  // The `n`-th call of Execute (1-based, counted over the whole life of the
  // connection) raises an error instead of answering.
  FakeConnection& FailOnExecute(int n) {
    fail_on_ = n;
    return *this;
  }
  // Every later Execute raises, as a closed connection does.
  FakeConnection& Break() {
    broken_ = true;
    return *this;
  }

  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    ++calls_;
    executed_.push_back(sql);
    if (broken_ || calls_ == fail_on_) {
      throw Error(kFailureCode, "FakeConnection",
                  "Connessione non disponibile");
    }
    const FakeResult& result = Answer(sql);
    if (result.error) throw *result.error;
    return std::make_unique<FakeRecordset>(result, counters_);
  }

  // Every SQL text handed to Execute, failed calls included.
  const std::vector<std::string>& executed() const { return executed_; }
  int opened() const { return counters_->opened; }
  int closed() const { return counters_->closed; }
  // Recordsets neither closed nor destroyed.
  int open_recordsets() const { return counters_->opened - counters_->closed; }

  static constexpr int32_t kFailureCode = codes::kUnspecifiedFailure;

 private:
  struct Counters {
    int opened = 0;
    int closed = 0;
  };

  class FakeRecordset final : public Recordset {
   public:
    FakeRecordset(FakeResult result, std::shared_ptr<Counters> counters)
        : result_(std::move(result)), counters_(std::move(counters)) {
      ++counters_->opened;
    }
    ~FakeRecordset() override {
      if (!closed_) ++counters_->closed;
    }
    // Like the real adapters, a closed recordset reports Eof.
    bool Eof() const override { return closed_ || row_ >= result_.rows.size(); }
    Variant Field(std::string_view name) const override {
      for (size_t i = 0; i < result_.columns.size(); ++i) {
        if (SameName(result_.columns[i], name)) {
          return Field(static_cast<int32_t>(i));
        }
      }
      throw Error(kFailureCode, "FakeRecordset",
                  "Colonna inesistente: " + std::string(name));
    }
    Variant Field(int32_t index) const override {
      Check();
      if (row_ >= result_.rows.size()) {
        throw Error(kFailureCode, "FakeRecordset", "Fine del recordset");
      }
      const auto& row = result_.rows[row_];
      if (index < 0 || static_cast<size_t>(index) >= row.size()) {
        throw Error(kFailureCode, "FakeRecordset", "Colonna inesistente");
      }
      return row[static_cast<size_t>(index)];
    }
    void MoveNext() override {
      Check();
      ++row_;
    }
    void Close() override {
      if (closed_) return;
      closed_ = true;
      ++counters_->closed;
      if (result_.close_error) throw *result_.close_error;
    }

   private:
    void Check() const {
      if (closed_) {
        throw Error(kFailureCode, "FakeRecordset", "Recordset chiuso");
      }
    }
    static bool SameName(std::string_view a, std::string_view b) {
      if (a.size() != b.size()) return false;
      for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
          return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
      }
      return true;
    }

    FakeResult result_;
    std::shared_ptr<Counters> counters_;
    size_t row_ = 0;
    bool closed_ = false;
  };

  const FakeResult& Answer(const std::string& sql) const {
    for (const auto& [fragment, result] : script_) {
      if (sql.find(fragment) != std::string::npos) return result;
    }
    return default_;
  }

  std::vector<std::pair<std::string, FakeResult>> script_;
  FakeResult default_;
  std::shared_ptr<Counters> counters_ = std::make_shared<Counters>();
  std::vector<std::string> executed_;
  int calls_ = 0;
  int fail_on_ = 0;
  bool broken_ = false;
};

}  // namespace zsepa::db::testing

#endif  // ZSEPA_DB_TESTING_FAKE_CONNECTION_H_
