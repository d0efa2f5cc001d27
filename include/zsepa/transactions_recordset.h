#ifndef ZSEPA_TRANSACTIONS_RECORDSET_H_
#define ZSEPA_TRANSACTIONS_RECORDSET_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zsepa/recordset.h"
#include "zsepa/variant.h"

namespace zsepa {

// Column data types of a recordset, with the numbers of the classic
// data-access layer.
enum class RecordsetColumnType : int32_t {
  kNone = 0,
  kSmallInt = 2,  // 16-bit integer
  kInteger = 3,   // 32-bit integer
  kDate = 7,
  kDecimal = 14,   // `precision` digits, `scale` of them after the point
  kVarChar = 200,  // text of at most `size` characters (UTF-16 units)
};

struct RecordsetColumn {
  std::string name;
  RecordsetColumnType type = RecordsetColumnType::kNone;
  int32_t size = 0;  // characters of a text column; 0 for other types
  int32_t precision = 0;
  int32_t scale = 0;
};

// A disconnected recordset held in memory, as CLSEP_INFOPAG's
// RecorsetTransazioni returns it: one row per transaction. Every column may
// hold Null. The recordset is filled row by row (AddNew, then SetValue per
// column); it then reads like any other recordset, and can be sorted.
//
// Values a column cannot take are refused, never cut: a text longer than
// its column, an amount beyond the column's precision, a number outside an
// integer column's range, a value of the wrong kind. SetValue then raises
// codes::kValueNotAccepted (0x80040E21) with a text that names the column,
// its size and the row ("Valore non valido per la colonna 'Causale'
// (massimo 6 caratteri) della transazione 3"). An Empty value becomes Null.
// A decimal column keeps its scale: the amount is rounded to `scale`
// decimals (halves away from zero).
//
// Misuse raises the numbers recordsets raise: 3265 for an unknown column,
// 3021 for a read or move at end of file, 3704 after Close (a closed
// recordset reports Eof). Not for use from several threads at once.
class TransactionsRecordset final : public Recordset {
 public:
  // An open recordset with `columns` and no rows; `expected_rows` only
  // reserves room.
  explicit TransactionsRecordset(std::vector<RecordsetColumn> columns,
                                 int32_t expected_rows = 0);

  const std::vector<RecordsetColumn>& Columns() const { return columns_; }

  // Appends a row with every column Null and makes it the current row.
  void AddNew();
  // Stores `value` in column `index` (0-based) of the current row, converted
  // to the column's type, or raises codes::kValueNotAccepted.
  void SetValue(int32_t index, Variant value);

  int32_t RecordCount() const;
  // Orders the rows by a comma-separated list of column names, each
  // optionally followed by ASC (the default) or DESC. Null sorts first,
  // rows with equal keys keep their insertion order; an empty list restores
  // insertion order. Moves to the first row.
  void Sort(std::string_view columns);
  void MoveFirst();

  bool Eof() const override;
  Variant Field(std::string_view name) const override;
  Variant Field(int32_t index) const override;
  // The value of column `index` (0-based) in the current row.
  Variant Value(int32_t index) const;
  // The text of text column `index` in the current row without a copy ("" for
  // Null); valid until the recordset changes. Raises 13 for a column of
  // another type.
  std::string_view TextValue(int32_t index) const;
  // The 0-based position of column `name` (case-insensitive); raises 3265
  // when there is none.
  int32_t ColumnIndex(std::string_view name) const;
  void MoveNext() override;
  void Close() override;

 private:
  // A row is one record of fixed layout: a text column takes 4 bytes (up to
  // 3 bytes of text kept inline, else the place of the text in `texts_`),
  // any other column 8 (a number, or a date's bits); Null is a marker value.
  // Texts are stored once, each with its length, end to end.
  size_t At(size_t row, int32_t column) const {
    return row * row_bytes_ + offsets_[static_cast<size_t>(column)];
  }
  size_t CurrentCell(int32_t column) const;
  void RequireOpen() const;
  void RequireCurrent() const;
  bool IsNull(size_t at, RecordsetColumnType type) const;
  std::string_view TextAt(size_t at) const;
  int Compare(size_t a, size_t b, int32_t column) const;

  std::vector<RecordsetColumn> columns_;
  std::vector<size_t> offsets_;  // of each column within a row
  size_t row_bytes_ = 0;
  std::vector<unsigned char> rows_;  // rows in insertion order
  std::string texts_;
  std::vector<uint32_t> last_text_;  // per column: its last text in texts_
  std::vector<int32_t> order_;       // rows in sort order
  size_t position_ = 0;              // index into order_
  bool closed_ = false;
};

}  // namespace zsepa

#endif  // ZSEPA_TRANSACTIONS_RECORDSET_H_
