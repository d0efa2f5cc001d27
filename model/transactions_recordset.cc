#include "zsepa/transactions_recordset.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "base/ascii.h"
#include "base/recordset_errors.h"
#include "base/utf8.h"
#include "format/formatting.h"
#include "model/fields.h"
#include "zsepa/clsep_infopag.h"
#include "zsepa/error.h"
#include "zsepa/transaction_rows.h"

namespace zsepa {
namespace {

constexpr char kSource[] = "TransactionsRecordset";

// What a column holds, as its refusal names it.
std::string Capacity(const RecordsetColumn& column) {
  switch (column.type) {
    case RecordsetColumnType::kVarChar:
      return "massimo " + std::to_string(column.size) + " caratteri";
    case RecordsetColumnType::kDecimal:
      return "massimo " + std::to_string(column.precision) + " cifre, di cui " +
             std::to_string(column.scale) + " decimali";
    case RecordsetColumnType::kSmallInt:
      return "intero a 16 bit";
    case RecordsetColumnType::kInteger:
      return "intero a 32 bit";
    case RecordsetColumnType::kDate:
      return "data";
    case RecordsetColumnType::kNone:
      break;
  }
  return "nessun valore";
}

[[noreturn]] void Refuse(const RecordsetColumn& column, size_t row) {
  throw Error(codes::kValueNotAccepted, kSource,
              "Valore non valido per la colonna '" + column.name + "' (" +
                  Capacity(column) + ") della transazione " +
                  std::to_string(row + 1));
}

// `value` converted to the column's type; std::nullopt when the column
// cannot hold it. Empty and Null are Null in every column.
std::optional<Variant> Converted(const RecordsetColumn& column,
                                 Variant&& value) {
  if (value.IsEmpty() || value.IsNull()) return Variant::Null();
  switch (column.type) {
    case RecordsetColumnType::kVarChar: {
      if (!value.IsString()) value = Variant(value.ToText());
      if (utf8::Length(*value.AsString()) > static_cast<size_t>(column.size)) {
        return std::nullopt;
      }
      return std::move(value);
    }
    case RecordsetColumnType::kDecimal: {
      if (!value.IsNumeric()) return std::nullopt;
      const double number = value.ToDouble();
      if (!std::isfinite(number)) return std::nullopt;
      const std::string fixed = FormatFixed(number, column.scale);
      const size_t point = fixed.find('.');
      const size_t integer_digits =
          (point == std::string::npos ? fixed.size() : point) -
          (fixed[0] == '-' ? 1 : 0);
      if (integer_digits + column.scale >
          static_cast<size_t>(column.precision)) {
        return std::nullopt;
      }
      double rounded = 0;
      std::from_chars(fixed.data(), fixed.data() + fixed.size(), rounded);
      return Variant(rounded);
    }
    case RecordsetColumnType::kSmallInt:
    case RecordsetColumnType::kInteger: {
      if (!value.IsNumeric()) return std::nullopt;
      try {
        if (column.type == RecordsetColumnType::kSmallInt) {
          return Variant(value.ToInt16());
        }
        return Variant(value.ToInt32());
      } catch (const Error&) {
        return std::nullopt;  // out of the column's range
      }
    }
    case RecordsetColumnType::kDate: {
      std::optional<Date> date = value.AsDate();
      if (!date) return std::nullopt;
      return Variant(*date);
    }
    case RecordsetColumnType::kNone:
      break;
  }
  return std::nullopt;
}

std::string_view Trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

struct SortKey {
  int32_t column;
  bool descending;
};

// The keys of a comma-separated list of column names, each optionally
// followed by ASC or DESC; `index_of` finds a column (or raises).
template <typename IndexOf>
std::vector<SortKey> SortKeys(std::string_view columns,
                              const IndexOf& index_of) {
  std::vector<SortKey> keys;
  while (!columns.empty()) {
    const size_t comma = columns.find(',');
    std::string_view item = Trimmed(columns.substr(0, comma));
    columns = comma == std::string_view::npos ? std::string_view()
                                              : columns.substr(comma + 1);
    bool descending = false;
    const size_t blank = item.find_last_of(" \t");
    if (blank != std::string_view::npos) {
      const std::string_view direction = item.substr(blank + 1);
      if (EqualsIgnoreCase(direction, "DESC") ||
          EqualsIgnoreCase(direction, "ASC")) {
        descending = EqualsIgnoreCase(direction, "DESC");
        item = Trimmed(item.substr(0, blank));
      }
    }
    if (item.empty()) continue;
    keys.push_back({index_of(item), descending});
  }
  return keys;
}

// Ascending order of two values of one column, converted to its type, as
// the recordset orders its cells: Null first, texts in byte order, dates
// and numbers by value.
int CompareValues(const Variant& x, const Variant& y) {
  if (x.IsNull() || y.IsNull()) {
    return static_cast<int>(y.IsNull()) - static_cast<int>(x.IsNull());
  }
  if (x.IsString()) {
    const int c = x.AsString()->compare(*y.AsString());
    return (c > 0) - (c < 0);
  }
  if (x.type() == Variant::Type::kDate) {
    const Date p = *x.AsDate(), q = *y.AsDate();
    return (p > q) - (p < q);
  }
  const double p = x.ToDouble(), q = y.ToDouble();
  return (p > q) - (p < q);
}

// The recordset's columns: the transaction fields that have one.
std::vector<RecordsetColumn> ColumnsOf(
    const std::vector<const fields::Field<CLSEP_TRANSFCREDIT>*>& fields) {
  std::vector<RecordsetColumn> columns;
  columns.reserve(fields.size());
  for (const auto* field : fields) {
    columns.push_back({std::string(field->name), field->column.type,
                       field->column.size, field->column.precision,
                       field->column.scale});
  }
  return columns;
}

// Text cells: Null is all ones; a text of up to 3 bytes is kept inline
// with 0x80 | length in the last byte; any other text is kept in the pool
// and the cell holds its place there (below 2^31). Other cells: Null is a
// NaN that no stored value has (stored decimals are finite, integers and
// dates far smaller).
constexpr size_t kTextCell = 4;
constexpr size_t kValueCell = 8;
constexpr size_t kInlineText = 3;
constexpr unsigned char kInlineTag = 0x80;
constexpr unsigned char kNullTag = 0xFF;
constexpr uint32_t kNoText = 0xFFFFFFFF;
constexpr uint64_t kNullValue = 0x7FF8DEADBEEF0000;

void PutWord(unsigned char* cell, uint32_t word) {
  for (int i = 0; i < 4; ++i)
    cell[i] = static_cast<unsigned char>(word >> (8 * i));
}
uint32_t GetWord(const unsigned char* cell) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(cell[i]) << (8 * i);
  return word;
}
void PutValue(unsigned char* cell, uint64_t bits) {
  std::memcpy(cell, &bits, sizeof bits);
}
uint64_t GetValue(const unsigned char* cell) {
  uint64_t bits;
  std::memcpy(&bits, cell, sizeof bits);
  return bits;
}

}  // namespace

TransactionsRecordset::TransactionsRecordset(
    std::vector<RecordsetColumn> columns, int32_t expected_rows)
    : columns_(std::move(columns)), last_text_(columns_.size(), kNoText) {
  for (const RecordsetColumn& column : columns_) {
    offsets_.push_back(row_bytes_);
    row_bytes_ +=
        column.type == RecordsetColumnType::kVarChar ? kTextCell : kValueCell;
  }
  if (expected_rows > 0) {
    rows_.reserve(static_cast<size_t>(expected_rows) * row_bytes_);
    order_.reserve(static_cast<size_t>(expected_rows));
  }
}

void TransactionsRecordset::RequireOpen() const {
  if (closed_) db::RaiseObjectClosed(kSource);
}

void TransactionsRecordset::RequireCurrent() const {
  RequireOpen();
  if (position_ >= order_.size()) db::RaiseNoCurrentRecord(kSource);
}

size_t TransactionsRecordset::CurrentCell(int32_t column) const {
  RequireCurrent();
  if (column < 0 || static_cast<size_t>(column) >= columns_.size()) {
    db::RaiseItemNotFound(kSource, std::to_string(column));
  }
  return At(static_cast<size_t>(order_[position_]), column);
}

bool TransactionsRecordset::IsNull(size_t at, RecordsetColumnType type) const {
  if (type == RecordsetColumnType::kVarChar) {
    return rows_[at + kTextCell - 1] == kNullTag;
  }
  return GetValue(&rows_[at]) == kNullValue;
}

// The text of a text cell that is not Null.
std::string_view TransactionsRecordset::TextAt(size_t at) const {
  const unsigned char* cell = &rows_[at];
  if ((cell[kTextCell - 1] & kInlineTag) != 0) {
    return std::string_view(reinterpret_cast<const char*>(cell),
                            cell[kTextCell - 1] & ~kInlineTag);
  }
  size_t place = GetWord(cell);
  size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(texts_[place++]);
    length |= static_cast<size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  return std::string_view(texts_).substr(place, length);
}

void TransactionsRecordset::AddNew() {
  RequireOpen();
  const size_t row = rows_.size();
  rows_.resize(row + row_bytes_);
  for (size_t i = 0; i < columns_.size(); ++i) {
    unsigned char* cell = &rows_[row + offsets_[i]];
    if (columns_[i].type == RecordsetColumnType::kVarChar) {
      PutWord(cell, kNoText);
    } else {
      PutValue(cell, kNullValue);
    }
  }
  order_.push_back(static_cast<int32_t>(order_.size()));
  position_ = order_.size() - 1;
}

void TransactionsRecordset::SetValue(int32_t index, Variant value) {
  const size_t at = CurrentCell(index);
  const RecordsetColumn& column = columns_[static_cast<size_t>(index)];
  std::optional<Variant> stored = Converted(column, std::move(value));
  if (!stored) Refuse(column, static_cast<size_t>(order_[position_]));
  unsigned char* cell = &rows_[at];
  const bool text = column.type == RecordsetColumnType::kVarChar;
  if (stored->IsNull()) {
    text ? PutWord(cell, kNoText) : PutValue(cell, kNullValue);
    return;
  }
  switch (column.type) {
    case RecordsetColumnType::kVarChar: {
      const std::string& value_text = *stored->AsString();
      if (value_text.size() <= kInlineText) {
        PutWord(cell, 0);
        std::memcpy(cell, value_text.data(), value_text.size());
        cell[kTextCell - 1] =
            static_cast<unsigned char>(kInlineTag | value_text.size());
        break;
      }
      // A column often repeats the text of the row before (a currency, a
      // town): that text is stored once.
      uint32_t& last = last_text_[static_cast<size_t>(index)];
      if (last != kNoText) {
        PutWord(cell, last);
        if (TextAt(at) == value_text) break;
      }
      if (texts_.size() + value_text.size() + 10 > 0x7FFFFFFF) {
        rt::Raise(rt::kOutOfMemory);
      }
      last = static_cast<uint32_t>(texts_.size());
      for (size_t length = value_text.size();; length >>= 7) {
        const auto byte = static_cast<unsigned char>(length & 0x7F);
        if (length < 0x80) {
          texts_.push_back(static_cast<char>(byte));
          break;
        }
        texts_.push_back(static_cast<char>(byte | 0x80));
      }
      texts_ += value_text;
      PutWord(cell, last);
      break;
    }
    case RecordsetColumnType::kDecimal:
      PutValue(cell, std::bit_cast<uint64_t>(stored->ToDouble()));
      break;
    case RecordsetColumnType::kDate:
      PutValue(cell, std::bit_cast<uint64_t>(*stored->AsDate()));
      break;
    default:
      PutValue(cell, static_cast<uint64_t>(int64_t{stored->ToInt32()}));
      break;
  }
}

int32_t TransactionsRecordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(order_.size());
}

// Ascending order of two rows by one column: Null first, texts in byte
// order, numbers and dates by value.
int TransactionsRecordset::Compare(size_t a, size_t b, int32_t column) const {
  const RecordsetColumnType type = columns_[static_cast<size_t>(column)].type;
  const size_t x = At(a, column), y = At(b, column);
  const bool x_null = IsNull(x, type), y_null = IsNull(y, type);
  if (x_null || y_null) return static_cast<int>(y_null) - x_null;
  switch (type) {
    case RecordsetColumnType::kVarChar: {
      const int c = TextAt(x).compare(TextAt(y));
      return (c > 0) - (c < 0);
    }
    case RecordsetColumnType::kDecimal: {
      const double p = std::bit_cast<double>(GetValue(&rows_[x]));
      const double q = std::bit_cast<double>(GetValue(&rows_[y]));
      return (p > q) - (p < q);
    }
    default: {
      const auto p = static_cast<int64_t>(GetValue(&rows_[x]));
      const auto q = static_cast<int64_t>(GetValue(&rows_[y]));
      return (p > q) - (p < q);
    }
  }
}

void TransactionsRecordset::Sort(std::string_view columns) {
  RequireOpen();
  const std::vector<SortKey> keys = SortKeys(
      columns, [this](std::string_view name) { return ColumnIndex(name); });
  // Sorting always starts from insertion order, so that equal keys keep it.
  for (size_t i = 0; i < order_.size(); ++i) {
    order_[i] = static_cast<int32_t>(i);
  }
  if (!keys.empty()) {
    std::stable_sort(order_.begin(), order_.end(), [&](int32_t a, int32_t b) {
      for (const SortKey& key : keys) {
        const int c =
            Compare(static_cast<size_t>(a), static_cast<size_t>(b), key.column);
        if (c != 0) return key.descending ? c > 0 : c < 0;
      }
      return false;
    });
  }
  position_ = 0;
}

void TransactionsRecordset::MoveFirst() {
  RequireOpen();
  position_ = 0;
}

bool TransactionsRecordset::Eof() const {
  return closed_ || position_ >= order_.size();
}

int32_t TransactionsRecordset::ColumnIndex(std::string_view name) const {
  RequireOpen();
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreCase(columns_[i].name, name)) {
      return static_cast<int32_t>(i);
    }
  }
  db::RaiseItemNotFound(kSource, name);
}

Variant TransactionsRecordset::Value(int32_t index) const {
  const size_t at = CurrentCell(index);
  const RecordsetColumnType type = columns_[static_cast<size_t>(index)].type;
  if (IsNull(at, type)) return Variant::Null();
  const uint64_t bits =
      type == RecordsetColumnType::kVarChar ? 0 : GetValue(&rows_[at]);
  switch (type) {
    case RecordsetColumnType::kVarChar:
      return Variant(TextAt(at));
    case RecordsetColumnType::kDecimal:
      return Variant(std::bit_cast<double>(bits));
    case RecordsetColumnType::kDate:
      return Variant(std::bit_cast<Date>(bits));
    case RecordsetColumnType::kSmallInt:
      return Variant(static_cast<int16_t>(static_cast<int64_t>(bits)));
    default:
      return Variant(static_cast<int32_t>(static_cast<int64_t>(bits)));
  }
}

std::string_view TransactionsRecordset::TextValue(int32_t index) const {
  const size_t at = CurrentCell(index);
  if (columns_[static_cast<size_t>(index)].type !=
      RecordsetColumnType::kVarChar) {
    rt::Raise(rt::kTypeMismatch);
  }
  if (IsNull(at, RecordsetColumnType::kVarChar)) return {};
  return TextAt(at);
}

Variant TransactionsRecordset::Field(std::string_view name) const {
  RequireCurrent();
  return Value(ColumnIndex(name));
}

Variant TransactionsRecordset::Field(int32_t index) const {
  return Value(index);
}

void TransactionsRecordset::MoveNext() {
  RequireCurrent();
  ++position_;
}

void TransactionsRecordset::Close() {
  closed_ = true;
  // Releases the rows at once.
  std::vector<unsigned char>().swap(rows_);
  std::string().swap(texts_);
  std::vector<int32_t>().swap(order_);
  position_ = 0;
}

std::unique_ptr<TransactionsRecordset> CLSEP_INFOPAG::RecorsetTransazioni()
    const {
  const auto fields = fields::RecordsetColumns();
  auto recordset =
      std::make_unique<TransactionsRecordset>(ColumnsOf(fields), Count());
  for (const auto& transaction : trasferimenti_) {
    recordset->AddNew();
    for (size_t i = 0; i < fields.size(); ++i) {
      recordset->SetValue(static_cast<int32_t>(i),
                          fields[i]->get(*transaction));
    }
  }
  return recordset;
}

struct TransactionRows::Columns {
  // How a column's value is checked: most fields' types tell at once
  // whether their column takes them, without converting the value.
  enum class Check {
    kConvert,  // converted as the recordset converts it
    kAlways,   // any value of the field fits (a date, a whole number)
    kLength,   // a text field: its length
    kDecimal,  // a number well within the column is taken without rounding
  };

  std::vector<const fields::Field<CLSEP_TRANSFCREDIT>*> fields =
      fields::RecordsetColumns();
  std::vector<RecordsetColumn> columns = ColumnsOf(fields);
  std::vector<Check> checks;
  std::vector<double> decimal_limits;  // of each decimal column

  Columns() {
    using Kind = fields::FieldKind;
    using Type = RecordsetColumnType;
    for (size_t i = 0; i < fields.size(); ++i) {
      const Kind kind = fields[i]->kind;
      const Type type = columns[i].type;
      const bool whole =
          kind == Kind::kInt16 || kind == Kind::kInt32 || kind == Kind::kEnum;
      Check check = Check::kConvert;
      if (kind == Kind::kText && type == Type::kVarChar) {
        check = Check::kLength;
      } else if ((kind == Kind::kDate && type == Type::kDate) ||
                 (whole && type == Type::kInteger) ||
                 (kind == Kind::kInt16 && type == Type::kSmallInt)) {
        check = Check::kAlways;
      } else if (kind == Kind::kDouble && type == Type::kDecimal) {
        check = Check::kDecimal;
      }
      checks.push_back(check);
      // Below 10^(integer digits) - 1, rounding to the scale cannot reach
      // another integer digit.
      decimal_limits.push_back(
          std::pow(10.0, columns[i].precision - columns[i].scale) - 1);
    }
  }

  static const Columns& Get() {
    static const Columns* const columns = new Columns();
    return *columns;
  }
  // Whether column `index` takes its value in `transaction`.
  bool Accepts(size_t index, const CLSEP_TRANSFCREDIT& transaction) const {
    switch (checks[index]) {
      case Check::kAlways:
        return true;
      case Check::kLength:
        return utf8::Length(*Text(index, transaction)) <=
               static_cast<size_t>(columns[index].size);
      case Check::kDecimal: {
        const double number =
            *static_cast<const double*>(fields[index]->address(transaction));
        if (std::fabs(number) < decimal_limits[index]) return true;
        break;
      }
      case Check::kConvert:
        break;
    }
    return Converted(columns[index], fields[index]->get(transaction))
        .has_value();
  }
  // Column `index`'s value in `transaction`, as the recordset stores it.
  Variant Value(size_t index, const CLSEP_TRANSFCREDIT& transaction) const {
    return *Converted(columns[index], fields[index]->get(transaction));
  }
  // The text of a text field, without a copy; nullptr for any other field.
  const std::string* Text(size_t index,
                          const CLSEP_TRANSFCREDIT& transaction) const {
    if (fields[index]->kind != fields::FieldKind::kText) return nullptr;
    return static_cast<const std::string*>(fields[index]->address(transaction));
  }
};

TransactionRows::TransactionRows(const CLSEP_INFOPAG& block)
    : columns_(Columns::Get()) {
  const size_t width = columns_.columns.size();
  rows_.reserve(static_cast<size_t>(block.Count()));
  for (int32_t i = 1; i <= block.Count(); ++i) {
    const CLSEP_TRANSFCREDIT& transaction = *block.Trasferimento(i);
    for (size_t c = 0; c < width; ++c) {
      if (!columns_.Accepts(c, transaction)) {
        Refuse(columns_.columns[c], rows_.size());
      }
    }
    rows_.push_back(&transaction);
  }
  order_ = rows_;
}

void TransactionRows::Sort(std::string_view columns) {
  const std::vector<SortKey> keys = SortKeys(
      columns, [this](std::string_view name) { return ColumnIndex(name); });
  // Each row's keys converted once, a row of `values` per transaction.
  const size_t width = keys.size();
  std::vector<Variant> values;
  values.reserve(rows_.size() * width);
  for (const CLSEP_TRANSFCREDIT* row : rows_) {
    for (const SortKey& key : keys) {
      values.push_back(columns_.Value(static_cast<size_t>(key.column), *row));
    }
  }
  // Sorting always starts from fill order, so that equal keys keep it.
  std::vector<size_t> positions(rows_.size());
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = i;
  std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
    for (size_t k = 0; k < width; ++k) {
      const int c = CompareValues(values[a * width + k], values[b * width + k]);
      if (c != 0) return keys[k].descending ? c > 0 : c < 0;
    }
    return false;
  });
  order_.clear();
  for (const size_t position : positions) order_.push_back(rows_[position]);
  position_ = 0;
  converted_.clear();
}

void TransactionRows::MoveNext() {
  if (Eof()) db::RaiseNoCurrentRecord(kSource);
  ++position_;
  converted_.clear();
  // Sorted rows lie anywhere in memory: the transaction read two rows on is
  // fetched into the cache while this one is read.
  if (position_ + 2 < order_.size()) {
    const auto* next = reinterpret_cast<const char*>(order_[position_ + 2]);
    for (size_t at = 0; at < sizeof(CLSEP_TRANSFCREDIT); at += 64) {
      __builtin_prefetch(next + at);
    }
  }
}

int32_t TransactionRows::ColumnIndex(std::string_view name) const {
  const std::vector<RecordsetColumn>& columns = columns_.columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoreCase(columns[i].name, name)) {
      return static_cast<int32_t>(i);
    }
  }
  db::RaiseItemNotFound(kSource, name);
}

size_t TransactionRows::Checked(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= columns_.columns.size()) {
    db::RaiseItemNotFound(kSource, std::to_string(index));
  }
  return static_cast<size_t>(index);
}

const CLSEP_TRANSFCREDIT& TransactionRows::Current() const {
  if (Eof()) db::RaiseNoCurrentRecord(kSource);
  return *order_[position_];
}

Variant TransactionRows::Value(int32_t index) const {
  return columns_.Value(Checked(index), Current());
}

std::string_view TransactionRows::TextValue(int32_t index) const {
  const size_t column = Checked(index);
  if (columns_.columns[column].type != RecordsetColumnType::kVarChar) {
    rt::Raise(rt::kTypeMismatch);
  }
  if (const std::string* text = columns_.Text(column, Current())) return *text;
  const Variant value = columns_.Value(column, Current());
  if (value.IsNull()) return {};
  return converted_.emplace_back(*value.AsString());
}

}  // namespace zsepa
