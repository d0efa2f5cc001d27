#include "tools/job.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>
#include <unordered_set>

#include "base/ascii.h"
#include "base/utf8.h"
#include "tools/input_file.h"
#include "zsepa/date.h"
#include "zsepa/error.h"

namespace zsepa::cli {
namespace {

using Json = nlohmann::ordered_json;

// Classic run-time numbers for faults of a job.
constexpr int32_t kOverflow = 6;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kNoSuchProperty = 438;
constexpr int32_t kArgumentMissing = 449;

// Keys and texts are shown in messages up to this many characters.
constexpr size_t kShownCharacters = 40;
// Keys longer than this get no "did you mean": none is near a known name,
// and comparing them would take time in proportion to their length.
constexpr size_t kLongestKeyToSuggestFor = 64;

// A settable property that is not a stored field of the object model
// (builder values, company values, Add's arguments): no dispatch identifier
// of its own here.
#define ZSEPA_PROPERTY(Class, Name) fields::MakeField<&Class::Name>(#Name, 0)

// `text` as messages show it: control characters, quotes, backslashes and
// malformed UTF-8 escaped (so a NUL cannot cut a message), and cut after
// kShownCharacters characters with "…".
std::string Shown(std::string_view text) {
  std::string shown;
  size_t count = 0;
  for (size_t pos = 0; pos < text.size(); ++count) {
    if (count == kShownCharacters) {
      shown += "\u2026";
      break;
    }
    const size_t length = utf8::SequenceLength(text, pos);
    const auto byte = static_cast<unsigned char>(text[pos]);
    char escaped[8];
    if (length == 1 && byte >= 0x80) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else if (byte == '"' || byte == '\\') {
      shown += '\\';
      shown += static_cast<char>(byte);
    } else if (byte == '\n') {
      shown += "\\n";
    } else if (byte == '\t') {
      shown += "\\t";
    } else if (byte == '\r') {
      shown += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      shown += escaped;
    } else {
      shown.append(text, pos, length);
    }
    pos += length;
  }
  return shown;
}

std::string KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::kText:
      return "text";
    case FieldKind::kDouble:
      return "a number";
    case FieldKind::kInt16:
      return "a whole number from -32768 to 32767";
    case FieldKind::kInt32:
    case FieldKind::kEnum:
      return "a whole number from -2147483648 to 2147483647";
    case FieldKind::kBoolean:
      return "true or false";
    case FieldKind::kDate:
      return "a date (\"YYYY-MM-DD\" or \"DD/MM/YYYY\", optionally with a "
             "time \"Thh:mm\" or \"Thh:mm:ss\")";
    case FieldKind::kVariant:
      return "text, a number, true/false, null or a date";
  }
  return "";
}

// A value as messages describe it. Lists and objects are named, never
// written out: they may be as large and as deeply nested as the file.
std::string Describe(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string:
      return "the text \"" + Shown(value.get_ref<const std::string&>()) + "\"";
    case Json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "a list";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "the number " + value.dump();
    default:
      return "a value of no JSON kind";
  }
}

[[noreturn]] void WrongKind(const std::string& path, const std::string& wanted,
                            const Json& value) {
  throw JobError(kTypeMismatch,
                 path + ": expected " + wanted + ", found " + Describe(value));
}

[[noreturn]] void DoesNotFit(const std::string& path, FieldKind kind,
                             const Json& value) {
  throw JobError(kOverflow,
                 path + ": " +
                     (value.is_number() ? value.dump() : Describe(value)) +
                     " does not fit this field, which takes " + KindName(kind));
}

// "YYYY-MM-DD" or "YYYY-MM-DDThh:mm:ss", digits where digits belong.
bool HasDateForm(std::string_view text) {
  // A date "YYYY-MM-DD" or "DD/MM/YYYY", then optionally "T" or a blank and
  // a time "hh:mm" or "hh:mm:ss": the forms Date::Parse reads.
  auto matches = [](std::string_view part, std::string_view form) {
    if (part.size() != form.size()) return false;
    for (size_t i = 0; i < part.size(); ++i) {
      if (form[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(part[i]))
                         : part[i] != form[i]) {
        return false;
      }
    }
    return true;
  };
  if (text.size() < 10 || !(matches(text.substr(0, 10), "dddd-dd-dd") ||
                            matches(text.substr(0, 10), "dd/dd/dddd"))) {
    return false;
  }
  const std::string_view time = text.substr(10);
  return time.empty() || ((time[0] == 'T' || time[0] == ' ') &&
                          (matches(time.substr(1), "dd:dd") ||
                           matches(time.substr(1), "dd:dd:dd")));
}

Variant ToDate(const std::string& path, const std::string& text) {
  std::optional<Date> date = Date::Parse(text);
  if (!date) {
    throw JobError(kTypeMismatch,
                   path + ": \"" + text + "\" is not a valid calendar date");
  }
  return Variant(*date);
}

// A JSON number as a whole number within [low, high], or a fit error.
int64_t WholeNumber(const std::string& path, FieldKind kind, const Json& value,
                    int64_t low, int64_t high) {
  int64_t number = 0;
  if (value.is_number_unsigned()) {
    if (value.get<uint64_t>() > static_cast<uint64_t>(high)) {
      DoesNotFit(path, kind, value);
    }
    number = static_cast<int64_t>(value.get<uint64_t>());
  } else if (value.is_number_integer()) {
    number = value.get<int64_t>();
  } else {
    const double real = value.get<double>();
    if (!std::isfinite(real) || std::trunc(real) != real ||
        real < static_cast<double>(low) || real > static_cast<double>(high)) {
      DoesNotFit(path, kind, value);
    }
    number = static_cast<int64_t>(real);
  }
  if (number < low || number > high) DoesNotFit(path, kind, value);
  return number;
}

// Checks `value` against `kind` and gives the value the field will receive.
Variant Convert(FieldKind kind, const Json& value, const std::string& path) {
  switch (kind) {
    case FieldKind::kText:
      if (!value.is_string()) WrongKind(path, KindName(kind), value);
      return Variant(value.get<std::string>());
    case FieldKind::kDouble: {
      if (!value.is_number()) WrongKind(path, KindName(kind), value);
      const double number = value.get<double>();
      if (!std::isfinite(number)) DoesNotFit(path, kind, value);
      return Variant(number);
    }
    case FieldKind::kInt16:
      if (!value.is_number()) WrongKind(path, "a whole number", value);
      return Variant(static_cast<int16_t>(
          WholeNumber(path, kind, value, std::numeric_limits<int16_t>::min(),
                      std::numeric_limits<int16_t>::max())));
    case FieldKind::kInt32:
    case FieldKind::kEnum:
      if (!value.is_number()) WrongKind(path, "a whole number", value);
      return Variant(static_cast<int32_t>(
          WholeNumber(path, kind, value, std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max())));
    case FieldKind::kBoolean:
      if (!value.is_boolean()) WrongKind(path, KindName(kind), value);
      return Variant(value.get<bool>());
    case FieldKind::kDate: {
      if (!value.is_string() || !HasDateForm(value.get<std::string>())) {
        WrongKind(path, KindName(kind), value);
      }
      return ToDate(path, value.get<std::string>());
    }
    case FieldKind::kVariant:
      break;
  }
  switch (value.type()) {
    case Json::value_t::null:
      return Variant::Null();
    case Json::value_t::boolean:
      return Variant(value.get<bool>());
    case Json::value_t::string: {
      const std::string text = value.get<std::string>();
      return HasDateForm(text) ? ToDate(path, text) : Variant(text);
    }
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      // Integral numbers stay integers: 32 bits when they fit, else 64.
      if (value.is_number_unsigned() &&
          value.get<uint64_t>() >
              static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        DoesNotFit(path, kind, value);
      }
      const int64_t number = value.get<int64_t>();
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(number));
      }
      return Variant(number);
    }
    case Json::value_t::number_float: {
      const double number = value.get<double>();
      if (!std::isfinite(number)) DoesNotFit(path, kind, value);
      return Variant(number);
    }
    default:
      WrongKind(path, KindName(kind), value);
  }
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const bool same = FoldAscii(a[i - 1]) == FoldAscii(b[j - 1]);
      row[j] =
          std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The closest known key to a misspelt one, or "".
std::string Suggestion(std::string_view key,
                       const std::vector<std::string_view>& known) {
  std::string best;
  size_t best_distance = 3;
  for (std::string_view candidate : known) {
    const size_t distance = EditDistance(key, candidate);
    if (distance < best_distance) {
      best_distance = distance;
      best = std::string(candidate);
    }
  }
  return best;
}

template <typename T>
const Property<T>* FindProperty(const std::vector<Property<T>>& table,
                                std::string_view key) {
  for (const Property<T>& property : table) {
    if (property.name == key) return &property;
  }
  return nullptr;
}

template <typename T>
[[noreturn]] void UnknownKey(const std::vector<Property<T>>& table,
                             std::vector<std::string_view> structural,
                             std::string_view key, const std::string& path,
                             std::string_view what) {
  for (const Property<T>& property : table) structural.push_back(property.name);
  std::string message = path + ": " + std::string(what) +
                        " has no property named \"" + Shown(key) + "\"";
  const std::string suggestion = key.size() <= kLongestKeyToSuggestFor
                                     ? Suggestion(key, structural)
                                     : std::string();
  if (!suggestion.empty()) message += " (did you mean \"" + suggestion + "\"?)";
  throw JobError(kNoSuchProperty, message);
}

// The path of `key` inside `path`; the key as messages show it.
std::string Join(const std::string& path, std::string_view key) {
  return path.empty() ? Shown(key) : path + "." + Shown(key);
}

std::string Index(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

const Json& ObjectAt(const Json& value, const std::string& path) {
  if (!value.is_object()) WrongKind(path, "an object { ... }", value);
  return value;
}

const Json& ListAt(const Json& value, const std::string& path) {
  if (!value.is_array()) WrongKind(path, "a list [ ... ]", value);
  return value;
}

// Reads the keys of `object` in the order given: keys of the table become
// assignments, keys in `structural` go to `on_structural`, anything else is
// an error naming the key.
template <typename T, typename OnStructural>
Assignments<T> ReadObject(const Json& object, const std::string& path,
                          const std::vector<Property<T>>& table,
                          const std::vector<std::string_view>& structural,
                          std::string_view what, OnStructural on_structural) {
  Assignments<T> assignments;
  for (const auto& [key, value] : ObjectAt(object, path).items()) {
    const std::string key_path = Join(path, key);
    if (std::find(structural.begin(), structural.end(), key) !=
        structural.end()) {
      on_structural(key, value, key_path);
    } else if (const Property<T>* property = FindProperty(table, key)) {
      assignments.push_back(
          {property, Convert(property->kind, value, key_path)});
    } else {
      UnknownKey(table, structural, key, key_path, what);
    }
  }
  return assignments;
}

const std::vector<Property<AddArguments>>& AddProperties() {
  static const std::vector<Property<AddArguments>> table = {
      ZSEPA_PROPERTY(AddArguments, TipoDistinta),
      ZSEPA_PROPERTY(AddArguments, NumeroDistinta),
      ZSEPA_PROPERTY(AddArguments, AnnoDistinta),
  };
  return table;
}

AddArguments ReadAdd(const Json& object, const std::string& path) {
  const auto assignments =
      ReadObject(object, path, AddProperties(), {}, "Add", [](auto&&...) {});
  AddArguments arguments;
  for (const Property<AddArguments>& property : AddProperties()) {
    const auto given =
        std::find_if(assignments.begin(), assignments.end(),
                     [&](const auto& a) { return a.property == &property; });
    if (given == assignments.end()) {
      throw JobError(kArgumentMissing,
                     Join(path, property.name) +
                         ": missing; Add needs TipoDistinta, NumeroDistinta "
                         "and AnnoDistinta");
    }
    given->ApplyTo(arguments);
  }
  return arguments;
}

TransactionPlan ReadTransaction(const Json& object, const std::string& path) {
  TransactionPlan plan;
  plan.values = ReadObject(
      object, path, TransactionProperties(), {"riferimenti"},
      "a transaction (CLSEP_TRANSFCREDIT)",
      [&](std::string_view, const Json& value, const std::string& key_path) {
        size_t i = 0;
        for (const Json& reference : ListAt(value, key_path)) {
          plan.riferimenti.push_back(ReadObject(
              reference, Index(key_path, i++), ReferenceProperties(), {},
              "a document reference (CLSEP_RIFSCA)", [](auto&&...) {}));
        }
      });
  return plan;
}

BlockPlan ReadBlock(const Json& object, const std::string& path) {
  BlockPlan plan;
  plan.values =
      ReadObject(object, path, BlockProperties(), {"Add", "trasferimenti"},
                 "a payment block (CLSEP_INFOPAG)",
                 [&](std::string_view key, const Json& value,
                     const std::string& key_path) {
                   if (key == "Add") {
                     plan.add = ReadAdd(value, key_path);
                     return;
                   }
                   size_t i = 0;
                   for (const Json& transaction : ListAt(value, key_path)) {
                     plan.trasferimenti.push_back(
                         ReadTransaction(transaction, Index(key_path, i++)));
                   }
                 });
  return plan;
}

// Builds the value of a JSON text event by event, refusing what no job or
// company file holds: lists and objects nested deeper than kMaxJsonNesting
// (so that nothing later walks an unbounded depth) and a key given twice in
// one object (the second value would silently replace the first). It keeps
// the path of the value being read, so that every fault names its place.
class JsonBuilder {
 public:
  JsonBuilder(Json& root, const std::string& name) : root_(root), name_(name) {}

  bool null() { return Add(Json(nullptr)); }
  bool boolean(bool value) { return Add(Json(value)); }
  bool number_integer(Json::number_integer_t value) { return Add(Json(value)); }
  bool number_unsigned(Json::number_unsigned_t value) {
    return Add(Json(value));
  }
  bool number_float(Json::number_float_t value, const Json::string_t&) {
    return Add(Json(value));
  }
  bool string(Json::string_t& value) { return Add(Json(std::move(value))); }
  bool binary(Json::binary_t& value) {
    return Add(Json::binary(std::move(value)));
  }
  bool start_object(std::size_t) { return Open(Json::object()); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }

  bool key(Json::string_t& key) {
    Frame& frame = frames_.back();
    if (!frame.keys.insert(key).second) {
      throw JobError(rt::kDuplicateKey,
                     At(Join(Path(frames_.size() - 1), key)) + "the key \"" +
                         Shown(key) +
                         "\" appears twice in the same object; a key may be "
                         "given only once");
    }
    frame.key = std::move(key);
    return true;
  }

  template <typename Exception>
  bool parse_error(std::size_t, const std::string& token,
                   const Exception& error) {
    const std::string path = Path(frames_.size());
    // 406: a number beyond the range of a double (1e400, 400 digits).
    if (error.id == 406) {
      throw JobError(kOverflow, At(path) + "the number " + Shown(token) +
                                    " does not fit: numbers must lie within "
                                    "-1.8e308 and 1.8e308");
    }
    // The parser's text names the position ("at line 3, column 5") and the
    // text it last read, which is shown cut like any other.
    std::string reason = error.what();
    const size_t bracket = reason.find("] ");
    if (bracket != std::string::npos) reason.erase(0, bracket + 2);
    const std::string last_read = "last read: '" + token + "'";
    const size_t at = reason.find(last_read);
    if (at != std::string::npos) {
      reason.replace(at, last_read.size(), "last read: '" + Shown(token) + "'");
    }
    throw JobError(kTypeMismatch,
                   name_ + ": not valid JSON: " + reason +
                       (path.empty() ? "" : " (in " + path + ")"));
  }

 private:
  struct Frame {
    Json* container = nullptr;
    size_t count = 0;  // lists: the values completed so far
    std::string key;   // objects: the key of the value being read
    std::unordered_set<std::string> keys;  // objects: the keys given so far
  };

  // "job.json: blocchi[0].Importo: ", or the file's name alone.
  std::string At(const std::string& path) const {
    return name_ + ": " + (path.empty() ? "" : path + ": ");
  }

  // The path of the value being read inside the first `depth` open lists
  // and objects.
  std::string Path(size_t depth) const {
    std::string path;
    for (size_t i = 0; i < depth; ++i) {
      const Frame& frame = frames_[i];
      path = frame.container->is_array() ? Index(path, frame.count)
                                         : Join(path, frame.key);
    }
    return path;
  }

  // Puts `value` where the text places it; keys are unique by now, so an
  // object's entry is appended without a search.
  Json* Place(Json&& value) {
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Frame& parent = frames_.back();
    if (parent.container->is_array()) {
      auto& list = parent.container->get_ref<Json::array_t&>();
      list.push_back(std::move(value));
      return &list.back();
    }
    auto& object = parent.container->get_ref<Json::object_t&>();
    object.emplace_back(parent.key, std::move(value));
    return &object.back().second;
  }

  void Completed() {
    if (!frames_.empty() && frames_.back().container->is_array()) {
      ++frames_.back().count;
    }
  }

  bool Add(Json&& value) {
    Place(std::move(value));
    Completed();
    return true;
  }

  bool Open(Json&& container) {
    if (frames_.size() >= kMaxJsonNesting) {
      throw JobError(kTypeMismatch,
                     At(Path(frames_.size())) +
                         "too deeply nested: lists and objects may be nested "
                         "at most " +
                         std::to_string(kMaxJsonNesting) + " levels deep");
    }
    Json* placed = Place(std::move(container));
    frames_.emplace_back();
    frames_.back().container = placed;
    return true;
  }

  bool Close() {
    frames_.pop_back();
    Completed();
    return true;
  }

  Json& root_;
  const std::string& name_;
  std::vector<Frame> frames_;
};

// Empties `value` from the leaves up. Each step destroys a scalar or an empty
// list or object, which frees memory and never needs any; the library's own
// destructor first sets the children of a list aside in new memory, which
// fails (and ends the program) when a large value is dropped because memory
// ran out. Each step walks down from the top, at most kMaxJsonNesting levels
// for what JsonBuilder built.
void Dismantle(Json& value) noexcept {
  while (value.is_structured() && !value.empty()) {
    Json* parent = &value;
    for (;;) {
      Json& last = parent->is_array()
                       ? parent->get_ref<Json::array_t&>().back()
                       : parent->get_ref<Json::object_t&>().back().second;
      if (!last.is_structured() || last.empty()) break;
      parent = &last;
    }
    if (parent->is_array()) {
      parent->get_ref<Json::array_t&>().pop_back();
    } else {
      parent->get_ref<Json::object_t&>().pop_back();
    }
  }
}

// Dismantles a parsed file when it goes, however the reading ends.
class DismantleOnExit {
 public:
  explicit DismantleOnExit(Json& value) : value_(value) {}
  ~DismantleOnExit() { Dismantle(value_); }
  DismantleOnExit(const DismantleOnExit&) = delete;
  DismantleOnExit& operator=(const DismantleOnExit&) = delete;

 private:
  Json& value_;
};

}  // namespace

const std::vector<Property<CLSEP_FILESEPA>>& BuilderProperties() {
  static const std::vector<Property<CLSEP_FILESEPA>> table = {
      ZSEPA_PROPERTY(CLSEP_FILESEPA, TipoStrutturaFile),
      ZSEPA_PROPERTY(CLSEP_FILESEPA, DataCreazioneSupporto),
      ZSEPA_PROPERTY(CLSEP_FILESEPA, FormatoFile),
      ZSEPA_PROPERTY(CLSEP_FILESEPA, CodiceIsoLocalizzazione),
  };
  return table;
}

const std::vector<Property<framework::CompanyValues>>& CompanyProperties() {
  using framework::CompanyValues;
  static const std::vector<Property<CompanyValues>> table = {
      ZSEPA_PROPERTY(CompanyValues, CodiceDitta),
      ZSEPA_PROPERTY(CompanyValues, RagioneSocialeDitta),
      ZSEPA_PROPERTY(CompanyValues, CodiceAnagraficaDitta),
      ZSEPA_PROPERTY(CompanyValues, IdentificativoDitta),
      ZSEPA_PROPERTY(CompanyValues, IdentificativoDittaAlternativo),
  };
  return table;
}

const std::vector<Property<CLSEP_INFOPAG>>& BlockProperties() {
  return fields::BlockFields();
}

const std::vector<Property<CLSEP_TRANSFCREDIT>>& TransactionProperties() {
  return fields::TransactionFields();
}

const std::vector<Property<CLSEP_RIFSCA>>& ReferenceProperties() {
  return fields::ReferenceFields();
}

framework::CompanyValues ParseCompany(const Json& company,
                                      const std::string& path) {
  framework::CompanyValues values;
  for (const auto& assignment :
       ReadObject(company, path, CompanyProperties(), {}, "the company (ditta)",
                  [](auto&&...) {})) {
    assignment.ApplyTo(values);
  }
  return values;
}

Job ParseJob(const Json& job) {
  if (!job.is_object()) WrongKind("the job", "an object { ... }", job);
  Job plan;
  bool has_company = false;
  plan.values = ReadObject(
      job, "", BuilderProperties(), {"ditta", "blocchi"}, "the job",
      [&](std::string_view key, const Json& value, const std::string& path) {
        if (key == "ditta") {
          plan.ditta = ParseCompany(value, path);
          has_company = true;
          return;
        }
        size_t i = 0;
        for (const Json& block : ListAt(value, path)) {
          plan.blocchi.push_back(ReadBlock(block, Index(path, i++)));
        }
      });
  // Every statement reads the company's values: without them the job could
  // only fail later, on the database's account.
  if (!has_company) {
    std::string names;
    for (const auto& property : CompanyProperties()) {
      names += (names.empty() ? "" : ", ") + std::string(property.name);
    }
    throw JobError(
        kArgumentMissing,
        "the job: missing `ditta`, the company values (" + names + ")");
  }
  for (const BlockPlan& block : plan.blocchi) {
    plan.transaction_count += static_cast<int64_t>(block.trasferimenti.size());
  }
  return plan;
}

Json ParseJsonText(std::string_view text, const std::string& name) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    throw JobError(kTypeMismatch, name + ": not valid JSON: the file is empty");
  }
  Json root;
  try {
    JsonBuilder builder(root, name);
    Json::sax_parse(text, &builder);
  } catch (...) {
    Dismantle(root);
    throw;
  }
  return root;
}

Json ReadJsonFile(const std::string& path) {
  return ParseJsonText(ReadRegularFile(path, kMaxJsonFileBytes), path);
}

Job ReadJob(const std::string& path) {
  Json document = ReadJsonFile(path);
  const DismantleOnExit dismantle(document);
  return ParseJob(document);
}

framework::CompanyValues ReadCompany(const std::string& path) {
  Json document = ReadJsonFile(path);
  const DismantleOnExit dismantle(document);
  return ParseCompany(document, "");
}

bool RunJob(const Job& job, CLSEP_FILESEPA& builder,
            const ProgressFn& progress) {
  for (const auto& assignment : job.values) assignment.ApplyTo(builder);
  int64_t done = 0;
  for (const BlockPlan& plan : job.blocchi) {
    std::shared_ptr<CLSEP_INFOPAG> block;
    if (plan.add) {
      block = builder.Add(plan.add->TipoDistinta, plan.add->NumeroDistinta,
                          plan.add->AnnoDistinta);
      if (!block) return false;
    } else {
      block = std::make_shared<CLSEP_INFOPAG>();
      builder.AddWithInfoPag(block);
      // A fresh builder holds Stato 0 until its first failure.
      if (builder.Stato() != 0) return false;
    }
    for (const auto& assignment : plan.values) assignment.ApplyTo(*block);
    for (const TransactionPlan& transaction_plan : plan.trasferimenti) {
      const std::shared_ptr<CLSEP_TRANSFCREDIT> transaction =
          block->AddTrasfer();
      for (const auto& assignment : transaction_plan.values) {
        assignment.ApplyTo(*transaction);
      }
      for (const auto& reference_values : transaction_plan.riferimenti) {
        const std::shared_ptr<CLSEP_RIFSCA> reference =
            transaction->AddRiferimentoScadenza();
        for (const auto& assignment : reference_values) {
          assignment.ApplyTo(*reference);
        }
      }
      if (progress)
        progress("adding transactions", ++done, job.transaction_count);
    }
  }
  return true;
}

}  // namespace zsepa::cli
