#ifndef ZSEPA_TOOLS_JOB_H_
#define ZSEPA_TOOLS_JOB_H_

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/fields.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"
#include "zsepa/profile.h"
#include "zsepa/variant.h"

namespace zsepa::cli {

// A job file or company file that cannot be run as it stands. `code` is the
// classic run-time number of the fault (438: no such property, 13: value of
// the wrong kind, malformed JSON or nesting too deep, 6: number that does
// not fit, 5: a profile of no known name, 449: missing `Add` argument or
// `ditta`, 457: key given twice,
// 53: file missing or not a regular file, 7: file over the size cap); the
// message names the key and its path in the job.
class JobError : public std::runtime_error {
 public:
  JobError(int32_t code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

// What a JSON value must be to go into a field: a JSON string (kText), any
// finite number (kDouble), a whole number within 16 or 32 bits (kInt16,
// kInt32, kEnum: never range-checked), true or false (kBoolean),
// "YYYY-MM-DD" or "YYYY-MM-DDThh:mm:ss" (kDate), anything (kVariant).
using fields::FieldKind;

// One settable property of class T: its exact published name, the kind of
// value it takes and how a checked value is stored into an object.
template <typename T>
using Property = fields::Field<T>;

// A property with the value it will receive, checked when the job was read.
template <typename T>
struct Assignment {
  const Property<T>* property;
  Variant value;
  void ApplyTo(T& object) const { property->set(object, value); }
};

struct AddArguments;

// The table of properties of each kind of object a job sets, by type: a
// job sets each object's properties from its one table.
const std::vector<Property<CLSEP_FILESEPA>>& PropertiesOf(
    const CLSEP_FILESEPA*);
const std::vector<Property<CLSEP_INFOPAG>>& PropertiesOf(const CLSEP_INFOPAG*);
const std::vector<Property<CLSEP_TRANSFCREDIT>>& PropertiesOf(
    const CLSEP_TRANSFCREDIT*);
const std::vector<Property<CLSEP_RIFSCA>>& PropertiesOf(const CLSEP_RIFSCA*);
const std::vector<Property<framework::CompanyValues>>& PropertiesOf(
    const framework::CompanyValues*);
const std::vector<Property<AddArguments>>& PropertiesOf(const AddArguments*);

// The checked values of one object, in the order given. A job holds a
// dozen or more for each of its transactions, so they are kept packed in
// one buffer (the property's place in its table, kind of value, value, a
// text's length in as few bytes as it needs: a quarter of the room of a
// list of Assignments); iterating gives each as an Assignment.
template <typename T>
class Assignments {
 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Assignment<T>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Assignment<T>;

    Iterator() = default;
    explicit Iterator(const char* at) : at_(at) {}
    Assignment<T> operator*() const { return Decode(at_).first; }
    Iterator& operator++() {
      at_ = Decode(at_).second;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator&, const Iterator&) = default;

   private:
    const char* at_ = nullptr;
  };

  void push_back(const Assignment<T>& assignment) {
    const auto place = assignment.property - Table().data();
    if (place < 0 || place > UINT8_MAX) {
      throw std::logic_error("a property outside its table");
    }
    PutValue(static_cast<uint8_t>(place));
    const Variant& value = assignment.value;
    const auto type = static_cast<uint8_t>(value.type());
    Put(&type, 1);
    switch (value.type()) {
      case Variant::Type::kEmpty:
      case Variant::Type::kNull:
        break;
      case Variant::Type::kBoolean:
        PutValue(static_cast<uint8_t>(value.ToBool()));
        break;
      case Variant::Type::kInt16:
        PutValue(value.ToInt16());
        break;
      case Variant::Type::kInt32:
        PutValue(value.ToInt32());
        break;
      case Variant::Type::kInt64: {
        const std::string text = value.ToText();
        int64_t number = 0;
        std::from_chars(text.data(), text.data() + text.size(), number);
        PutValue(number);
        break;
      }
      case Variant::Type::kDouble:
        PutValue(value.ToDouble());
        break;
      case Variant::Type::kDate:
        PutValue(*value.AsDate());
        break;
      case Variant::Type::kString: {
        const std::string& text = *value.AsString();
        for (size_t size = text.size();; size >>= 7) {
          const auto byte = static_cast<uint8_t>(size & 0x7F);
          if (size < 0x80) {
            PutValue(byte);
            break;
          }
          PutValue(static_cast<uint8_t>(byte | 0x80));
        }
        Put(text.data(), text.size());
        break;
      }
    }
    ++count_;
  }

  Iterator begin() const { return Iterator(bytes_.data()); }
  Iterator end() const { return Iterator(bytes_.data() + bytes_.size()); }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // The assignment at `index`; raises std::out_of_range beyond the last.
  Assignment<T> at(size_t index) const {
    if (index >= count_) throw std::out_of_range("Assignments::at");
    return *std::next(begin(), static_cast<std::ptrdiff_t>(index));
  }
  void clear() {
    bytes_.clear();
    count_ = 0;
  }
  // Sets every value on `object` in order, as each Assignment's ApplyTo
  // would; a text for a text field goes straight into the field (setting a
  // text field stores the text as it is), without a copy in between.
  void ApplyTo(T& object) const {
    const char* const end = bytes_.data() + bytes_.size();
    for (const char* at = bytes_.data(); at != end;) {
      const char* after_place = at + 1;
      const Property<T>& property = Table()[static_cast<uint8_t>(*at)];
      if (property.kind == FieldKind::kText &&
          static_cast<Variant::Type>(Get<uint8_t>(after_place)) ==
              Variant::Type::kString) {
        const size_t size = GetSize(after_place);
        // The field's own member: `object` is not const.
        auto* text = static_cast<std::string*>(
            const_cast<void*>(property.address(object)));
        text->assign(after_place, size);
        at = after_place + size;
        continue;
      }
      auto [assignment, next] = Decode(at);
      assignment.ApplyTo(object);
      at = next;
    }
  }

 private:
  static_assert(std::is_trivially_copyable_v<Date>);

  static const std::vector<Property<T>>& Table() {
    return PropertiesOf(static_cast<const T*>(nullptr));
  }

  void Put(const void* data, size_t size) {
    bytes_.append(static_cast<const char*>(data), size);
  }
  template <typename V>
  void PutValue(const V& value) {
    Put(&value, sizeof value);
  }
  template <typename V>
  static V Get(const char*& at) {
    V value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
  }

  // The length of a text stored at `at`, which moves past it.
  static size_t GetSize(const char*& at) {
    size_t size = 0;
    for (int shift = 0;; shift += 7) {
      const auto byte = Get<uint8_t>(at);
      size |= static_cast<size_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return size;
    }
  }

  // The assignment stored at `at`, and where the next one starts.
  static std::pair<Assignment<T>, const char*> Decode(const char* at) {
    Assignment<T> assignment{&Table()[Get<uint8_t>(at)], Variant()};
    Variant& value = assignment.value;
    switch (static_cast<Variant::Type>(Get<uint8_t>(at))) {
      case Variant::Type::kEmpty:
        break;
      case Variant::Type::kNull:
        value = Variant::Null();
        break;
      case Variant::Type::kBoolean:
        value = Variant(Get<uint8_t>(at) != 0);
        break;
      case Variant::Type::kInt16:
        value = Variant(Get<int16_t>(at));
        break;
      case Variant::Type::kInt32:
        value = Variant(Get<int32_t>(at));
        break;
      case Variant::Type::kInt64:
        value = Variant(Get<int64_t>(at));
        break;
      case Variant::Type::kDouble:
        value = Variant(Get<double>(at));
        break;
      case Variant::Type::kDate:
        value = Variant(Get<Date>(at));
        break;
      case Variant::Type::kString: {
        const size_t size = GetSize(at);
        value = Variant(std::string(at, size));
        at += size;
        break;
      }
    }
    return {std::move(assignment), at};
  }

  std::string bytes_;
  size_t count_ = 0;
};

// The three arguments of CLSEP_FILESEPA::Add, read with their own table.
struct AddArguments {
  int16_t TipoDistinta = 0;
  int32_t NumeroDistinta = 0;
  int16_t AnnoDistinta = 0;
};

struct TransactionPlan {
  Assignments<CLSEP_TRANSFCREDIT> values;
  std::vector<Assignments<CLSEP_RIFSCA>> riferimenti;
};

struct BlockPlan {
  std::optional<AddArguments> add;  // absent: AddWithInfoPag of a new block
  Assignments<CLSEP_INFOPAG> values;
  std::vector<TransactionPlan> trasferimenti;
};

// A whole job, every value already checked: running it cannot fail on the
// job's account, only on the builder's.
struct Job {
  framework::CompanyValues ditta;
  // The job's "profile" key: the form SaveXML writes, unless the command
  // line names one; absent when the job does not say.
  std::optional<FileProfile> profile;
  Assignments<CLSEP_FILESEPA> values;
  std::vector<BlockPlan> blocchi;
  int64_t transaction_count = 0;
};

// Reads the text of a job file named `name` (for messages) in one pass,
// straight into a plan: no value of the whole file is built. Raises JobError
// with the fault ParseJsonText would raise for the text, else with the first
// fault ParseJob would raise for its value (no text fault is outweighed by a
// fault of the content found earlier in the file).
Job ParseJobText(std::string_view text, const std::string& name);
// The same for the text of a company file.
framework::CompanyValues ParseCompanyText(std::string_view text,
                                          const std::string& name);

// Checks a whole parsed job and turns it into a plan; raises JobError naming
// the first key at fault with its path (blocchi[0].trasferimenti[3].Importo).
Job ParseJob(const nlohmann::ordered_json& job);
// The same for a company object (the "ditta" of a job, or a company file);
// `path` prefixes the keys in messages.
framework::CompanyValues ParseCompany(const nlohmann::ordered_json& company,
                                      const std::string& path);

// The largest job or company file read: a larger one is refused before it
// is read, whatever memory the machine has.
inline constexpr uint64_t kMaxJsonFileBytes = uint64_t{1} << 30;
// How deeply lists and objects may nest in a job or company file; a job
// needs seven levels.
inline constexpr size_t kMaxJsonNesting = 64;

// Parses the text of a job or company file named `name` (for messages).
// Raises JobError naming the file and the path of the fault: malformed JSON
// (13), nesting deeper than kMaxJsonNesting (13), a key given twice in one
// object (457), a number beyond the range of a double (6).
nlohmann::ordered_json ParseJsonText(std::string_view text,
                                     const std::string& name);

// Reads a JSON file: a regular file of at most kMaxJsonFileBytes, opened
// without blocking, then ParseJsonText. Raises JobError.
nlohmann::ordered_json ReadJsonFile(const std::string& path);

// Reads a file as ReadJsonFile does, then ParseJobText / ParseCompanyText.
// Running out of memory while reading a large file ends in std::bad_alloc,
// never in a program abort.
Job ReadJob(const std::string& path);
framework::CompanyValues ReadCompany(const std::string& path);

// Why `name` names no profile, for the messages of the job's "profile" key
// and of the command line: the names there are, and the nearest one.
std::string UnknownProfile(std::string_view name);

// Called while a job runs with what is being done and how far it got.
using ProgressFn =
    std::function<void(std::string_view stage, int64_t done, int64_t total)>;

// Plays the host: sets the builder's properties (all of them, in the order
// given, before any block), then adds each block with Add or AddWithInfoPag,
// sets its keys, adds and fills its transactions and their references. The
// builder must be initialised. Returns False as soon as the builder reports a
// failure (Stato/Errore tell why); nothing is saved here. A plan runs once:
// each block's transactions are released from it as soon as they are in the
// builder, so that a large job's plan does not stay beside the builder's
// objects while the file is written.
bool RunJob(Job& job, CLSEP_FILESEPA& builder, const ProgressFn& progress = {});

// The property tables, exposed for tests and help texts.
const std::vector<Property<CLSEP_FILESEPA>>& BuilderProperties();
const std::vector<Property<CLSEP_INFOPAG>>& BlockProperties();
const std::vector<Property<CLSEP_TRANSFCREDIT>>& TransactionProperties();
const std::vector<Property<CLSEP_RIFSCA>>& ReferenceProperties();
const std::vector<Property<framework::CompanyValues>>& CompanyProperties();

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_JOB_H_
