#ifndef ZSEPA_TOOLS_JOB_H_
#define ZSEPA_TOOLS_JOB_H_

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/fields.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"
#include "zsepa/variant.h"

namespace zsepa::cli {

// A job file or company file that cannot be run as it stands. `code` is the
// classic run-time number of the fault (438: no such property, 13: value of
// the wrong kind, malformed JSON or nesting too deep, 6: number that does
// not fit, 449: missing `Add` argument or `ditta`, 457: key given twice,
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
template <typename T>
using Assignments = std::vector<Assignment<T>>;

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
  Assignments<CLSEP_FILESEPA> values;
  std::vector<BlockPlan> blocchi;
  int64_t transaction_count = 0;
};

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

// ReadJsonFile then ParseJob / ParseCompany. The parsed value is dropped
// without needing memory, so that running out of memory while reading a
// large file ends in std::bad_alloc, never in a program abort.
Job ReadJob(const std::string& path);
framework::CompanyValues ReadCompany(const std::string& path);

// Called while a job runs with what is being done and how far it got.
using ProgressFn =
    std::function<void(std::string_view stage, int64_t done, int64_t total)>;

// Plays the host: sets the builder's properties (all of them, in the order
// given, before any block), then adds each block with Add or AddWithInfoPag,
// sets its keys, adds and fills its transactions and their references. The
// builder must be initialised. Returns False as soon as the builder reports a
// failure (Stato/Errore tell why); nothing is saved here.
bool RunJob(const Job& job, CLSEP_FILESEPA& builder,
            const ProgressFn& progress = {});

// The property tables, exposed for tests and help texts.
const std::vector<Property<CLSEP_FILESEPA>>& BuilderProperties();
const std::vector<Property<CLSEP_INFOPAG>>& BlockProperties();
const std::vector<Property<CLSEP_TRANSFCREDIT>>& TransactionProperties();
const std::vector<Property<CLSEP_RIFSCA>>& ReferenceProperties();
const std::vector<Property<framework::CompanyValues>>& CompanyProperties();

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_JOB_H_
