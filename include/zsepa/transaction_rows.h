#ifndef ZSEPA_TRANSACTION_ROWS_H_
#define ZSEPA_TRANSACTION_ROWS_H_

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "zsepa/clsep_infopag.h"
#include "zsepa/transactions_recordset.h"
#include "zsepa/variant.h"

namespace zsepa {

// The rows of a block's transactions recordset read straight from the
// transactions, without the recordset's copy of every value: for a program
// that only reads the recordset, in a fraction of the memory. It reads
// exactly what RecorsetTransazioni's recordset reads: construction checks
// every value of every transaction in fill order and raises the refusal the
// recordset would raise; each value read is converted to its column's type
// as the recordset stores it; Sort orders the rows as the recordset's Sort
// does. Unlike the recordset it reads the transactions as they are when
// read: they must stay unchanged, and the block alive, while it is in use.
class TransactionRows {
 public:
  explicit TransactionRows(const CLSEP_INFOPAG& block);

  int32_t RecordCount() const { return static_cast<int32_t>(order_.size()); }
  // As TransactionsRecordset::Sort; moves to the first row.
  void Sort(std::string_view columns);
  bool Eof() const { return position_ >= order_.size(); }
  void MoveNext();
  // As the recordset's namesakes, for the current row.
  int32_t ColumnIndex(std::string_view name) const;
  Variant Value(int32_t index) const;
  // Valid until MoveNext or Sort.
  std::string_view TextValue(int32_t index) const;

 private:
  struct Columns;  // the recordset's columns and the fields they read

  size_t Checked(int32_t index) const;
  const CLSEP_TRANSFCREDIT& Current() const;

  const Columns& columns_;
  std::vector<const CLSEP_TRANSFCREDIT*> rows_;   // in fill order
  std::vector<const CLSEP_TRANSFCREDIT*> order_;  // in sort order
  size_t position_ = 0;
  // Texts converted for the current row (a text column whose field is not
  // a text).
  mutable std::deque<std::string> converted_;
};

}  // namespace zsepa

#endif  // ZSEPA_TRANSACTION_ROWS_H_
