#ifndef ZSEPA_MODEL_FIELDS_H_
#define ZSEPA_MODEL_FIELDS_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "zsepa/clsep_infopag.h"
#include "zsepa/clsep_transfcredit.h"
#include "zsepa/date.h"
#include "zsepa/error.h"
#include "zsepa/transactions_recordset.h"
#include "zsepa/variant.h"

// The stored fields of the block, the transaction and the document
// reference, each described once: its published name, its member, the kind
// of value it holds, its dispatch identifier and, for a transaction, its
// column in the transactions recordset. The job files of zsepa, the
// transactions recordset and the COM interfaces are derived from these
// tables.

namespace zsepa::fields {

// What a field holds, as the members' types give it.
enum class FieldKind {
  kText,     // std::string
  kDouble,   // double
  kInt16,    // int16_t
  kInt32,    // int32_t
  kEnum,     // an enumeration: any 32-bit value
  kBoolean,  // bool
  kDate,     // Date
  kVariant,  // Variant
};

// Column types of the transactions recordset, with the numbers of the
// classic data-access layer.
using ColumnType = RecordsetColumnType;

// A field's column in the transactions recordset: position counts from 1
// (0: the field has no column); size is the maximum number of characters of
// a text column.
struct Column {
  int32_t position = 0;
  ColumnType type = ColumnType::kNone;
  int32_t size = 0;
  int32_t precision = 0;
  int32_t scale = 0;
};

// One stored field of class T. `get` reads the field as a variant (an
// enumeration as its 32-bit number); `set` stores a variant already checked
// against `kind` (text for kText, a date for kDate, a number for the
// numeric kinds) and raises the value's conversion errors otherwise.
template <typename T>
struct Field {
  std::string_view name;
  FieldKind kind;
  int32_t dispid;
  Column column;
  Variant (*get)(const T&);
  void (*set)(T&, const Variant&);
  // The member's address in `object`; tells declaration order.
  const void* (*address)(const T&);
};

namespace detail {
template <typename M>
constexpr FieldKind KindOf() {
  if constexpr (std::is_same_v<M, std::string>) {
    return FieldKind::kText;
  } else if constexpr (std::is_same_v<M, double>) {
    return FieldKind::kDouble;
  } else if constexpr (std::is_same_v<M, int16_t>) {
    return FieldKind::kInt16;
  } else if constexpr (std::is_same_v<M, int32_t>) {
    return FieldKind::kInt32;
  } else if constexpr (std::is_enum_v<M>) {
    return FieldKind::kEnum;
  } else if constexpr (std::is_same_v<M, bool>) {
    return FieldKind::kBoolean;
  } else if constexpr (std::is_same_v<M, Date>) {
    return FieldKind::kDate;
  } else {
    static_assert(std::is_same_v<M, Variant>, "unsupported field type");
    return FieldKind::kVariant;
  }
}

template <typename M>
Variant Read(const M& value) {
  if constexpr (std::is_enum_v<M>) {
    static_assert(std::is_same_v<std::underlying_type_t<M>, int32_t>);
    return Variant(static_cast<int32_t>(value));
  } else {
    return Variant(value);
  }
}

template <typename M>
void Write(M& target, const Variant& value) {
  if constexpr (std::is_same_v<M, std::string>) {
    target = value.ToText();
  } else if constexpr (std::is_same_v<M, double>) {
    target = value.ToDouble();
  } else if constexpr (std::is_same_v<M, int16_t>) {
    target = value.ToInt16();
  } else if constexpr (std::is_same_v<M, int32_t>) {
    target = value.ToInt32();
  } else if constexpr (std::is_enum_v<M>) {
    target = static_cast<M>(value.ToInt32());
  } else if constexpr (std::is_same_v<M, bool>) {
    target = value.ToBool();
  } else if constexpr (std::is_same_v<M, Date>) {
    const std::optional<Date> date = value.AsDate();
    if (!date) rt::Raise(rt::kTypeMismatch);
    target = *date;
  } else {
    target = value;
  }
}

template <typename T, typename M>
constexpr M MemberType(M T::*);
template <typename T, typename M>
constexpr T ClassType(M T::*);
}  // namespace detail

// The Field of member `M` (a pointer to a data member).
template <auto M>
constexpr auto MakeField(std::string_view name, int32_t dispid,
                         Column column = {}) {
  using T = decltype(detail::ClassType(M));
  using Member = decltype(detail::MemberType(M));
  return Field<T>{
      name,
      detail::KindOf<Member>(),
      dispid,
      column,
      [](const T& object) { return detail::Read(object.*M); },
      [](T& object, const Variant& value) { detail::Write(object.*M, value); },
      [](const T& object) -> const void* { return &(object.*M); }};
}

// The tables, in declaration order, which is also the interface order.
const std::vector<Field<CLSEP_INFOPAG>>& BlockFields();
const std::vector<Field<CLSEP_TRANSFCREDIT>>& TransactionFields();
const std::vector<Field<CLSEP_RIFSCA>>& ReferenceFields();

// The transaction fields that have a recordset column, in column order.
std::vector<const Field<CLSEP_TRANSFCREDIT>*> RecordsetColumns();

}  // namespace zsepa::fields

#endif  // ZSEPA_MODEL_FIELDS_H_
