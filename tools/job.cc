#include "tools/job.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "base/ascii.h"
#include "base/utf8.h"
#include "simdjson.h"
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

// How many keys of one object of a job are recognised without hashing: the
// keys of its table (a transaction has the most).
constexpr size_t kMaxKnownKeys = 128;

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

// One JSON value as the reader meets it: a scalar with its value, or the
// start of a list or object, which is named and never walked.
struct Value {
  enum class Type {
    kNull,
    kBoolean,
    kInteger,   // negative whole numbers, as the parser reads them
    kUnsigned,  // whole numbers without a sign
    kReal,
    kText,
    kObject,
    kList
  };
  Type type = Type::kNull;
  bool boolean = false;
  int64_t integer = 0;
  uint64_t whole = 0;
  double real = 0;
  std::string* text = nullptr;  // the parser's text, which may be moved from

  bool IsNumber() const {
    return type == Type::kInteger || type == Type::kUnsigned ||
           type == Type::kReal;
  }
  double ToDouble() const {
    switch (type) {
      case Type::kInteger:
        return static_cast<double>(integer);
      case Type::kUnsigned:
        return static_cast<double>(whole);
      default:
        return real;
    }
  }
  // The number written as the parsed value would write it.
  std::string Dump() const {
    switch (type) {
      case Type::kInteger:
        return Json(integer).dump();
      case Type::kUnsigned:
        return Json(whole).dump();
      default:
        return Json(real).dump();
    }
  }
};

// A value as messages describe it. Lists and objects are named, never
// written out: they may be as large and as deeply nested as the file.
std::string Describe(const Value& value) {
  switch (value.type) {
    case Value::Type::kText:
      return "the text \"" + Shown(*value.text) + "\"";
    case Value::Type::kBoolean:
      return value.boolean ? "true" : "false";
    case Value::Type::kNull:
      return "null";
    case Value::Type::kObject:
      return "an object";
    case Value::Type::kList:
      return "a list";
    case Value::Type::kInteger:
    case Value::Type::kUnsigned:
    case Value::Type::kReal:
      return "the number " + value.Dump();
  }
  return "a value of no JSON kind";
}

[[noreturn]] void WrongKind(const std::string& path, const std::string& wanted,
                            const Value& value) {
  throw JobError(kTypeMismatch,
                 path + ": expected " + wanted + ", found " + Describe(value));
}

[[noreturn]] void DoesNotFit(const std::string& path, FieldKind kind,
                             const Value& value) {
  throw JobError(kOverflow,
                 path + ": " +
                     (value.IsNumber() ? value.Dump() : Describe(value)) +
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

template <typename PathOf>
Variant ToDate(const PathOf& path_of, const std::string& text) {
  std::optional<Date> date = Date::Parse(text);
  if (!date) {
    throw JobError(kTypeMismatch, path_of() + ": \"" + text +
                                      "\" is not a valid calendar date");
  }
  return Variant(*date);
}

// A JSON number as a whole number within [low, high], or a fit error.
// `path_of` gives the value's path, asked for only when it is at fault.
template <typename PathOf>
int64_t WholeNumber(const PathOf& path_of, FieldKind kind, const Value& value,
                    int64_t low, int64_t high) {
  int64_t number = 0;
  if (value.type == Value::Type::kUnsigned) {
    if (value.whole > static_cast<uint64_t>(high)) {
      DoesNotFit(path_of(), kind, value);
    }
    number = static_cast<int64_t>(value.whole);
  } else if (value.type == Value::Type::kInteger) {
    number = value.integer;
  } else {
    const double real = value.real;
    if (!std::isfinite(real) || std::trunc(real) != real ||
        real < static_cast<double>(low) || real > static_cast<double>(high)) {
      DoesNotFit(path_of(), kind, value);
    }
    number = static_cast<int64_t>(real);
  }
  if (number < low || number > high) DoesNotFit(path_of(), kind, value);
  return number;
}

// Checks `value` against `kind` and gives the value the field will receive;
// a text is moved out of `value`.
template <typename PathOf>
Variant Convert(FieldKind kind, const Value& value, const PathOf& path_of) {
  using Type = Value::Type;
  switch (kind) {
    case FieldKind::kText:
      if (value.type != Type::kText) {
        WrongKind(path_of(), KindName(kind), value);
      }
      return Variant(std::move(*value.text));
    case FieldKind::kDouble: {
      if (!value.IsNumber()) WrongKind(path_of(), KindName(kind), value);
      const double number = value.ToDouble();
      if (!std::isfinite(number)) DoesNotFit(path_of(), kind, value);
      return Variant(number);
    }
    case FieldKind::kInt16:
      if (!value.IsNumber()) WrongKind(path_of(), "a whole number", value);
      return Variant(static_cast<int16_t>(
          WholeNumber(path_of, kind, value, std::numeric_limits<int16_t>::min(),
                      std::numeric_limits<int16_t>::max())));
    case FieldKind::kInt32:
    case FieldKind::kEnum:
      if (!value.IsNumber()) WrongKind(path_of(), "a whole number", value);
      return Variant(static_cast<int32_t>(
          WholeNumber(path_of, kind, value, std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max())));
    case FieldKind::kBoolean:
      if (value.type != Type::kBoolean) {
        WrongKind(path_of(), KindName(kind), value);
      }
      return Variant(value.boolean);
    case FieldKind::kDate:
      if (value.type != Type::kText || !HasDateForm(*value.text)) {
        WrongKind(path_of(), KindName(kind), value);
      }
      return ToDate(path_of, *value.text);
    case FieldKind::kVariant:
      break;
  }
  switch (value.type) {
    case Type::kNull:
      return Variant::Null();
    case Type::kBoolean:
      return Variant(value.boolean);
    case Type::kText:
      return HasDateForm(*value.text) ? ToDate(path_of, *value.text)
                                      : Variant(std::move(*value.text));
    case Type::kUnsigned:
    case Type::kInteger: {
      // Integral numbers stay integers: 32 bits when they fit, else 64.
      if (value.type == Type::kUnsigned &&
          value.whole >
              static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        DoesNotFit(path_of(), kind, value);
      }
      const int64_t number = value.type == Type::kUnsigned
                                 ? static_cast<int64_t>(value.whole)
                                 : value.integer;
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(number));
      }
      return Variant(number);
    }
    case Type::kReal: {
      if (!std::isfinite(value.real)) DoesNotFit(path_of(), kind, value);
      return Variant(value.real);
    }
    default:
      WrongKind(path_of(), KindName(kind), value);
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

// The path of `key` inside `path`; the key as messages show it.
std::string Join(const std::string& path, std::string_view key) {
  return path.empty() ? Shown(key) : path + "." + Shown(key);
}

std::string Index(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

// The path of the value being read and the checks on the text itself, shared
// by both readers of a JSON text (the job reader and the generic value
// builder): lists and objects nested deeper than kMaxJsonNesting (so that
// nothing later walks an unbounded depth), a key given twice in one object
// (the second value would silently replace the first), and the parser's own
// faults, each naming the file and the place.
class TextPlaces {
 public:
  // `name`: the file's name for messages; nullptr for a value that is
  // already parsed, which has passed these checks. `prefix`: the path of
  // the whole text's value.
  explicit TextPlaces(const std::string* name, std::string prefix = {})
      : prefix_(std::move(prefix)), name_(name) {}

  template <typename Exception>
  bool parse_error(std::size_t, const std::string& token,
                   const Exception& error) {
    const std::string path = Path(depth_);
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
                   *name_ + ": not valid JSON: " + reason +
                       (path.empty() ? "" : " (in " + path + ")"));
  }

 protected:
  struct Frame {
    bool list = false;
    size_t count = 0;  // lists: the values completed so far
    std::string key;   // objects: the key of the value being read
    std::bitset<kMaxKnownKeys> known;  // objects: table keys given so far
    std::unique_ptr<std::unordered_set<std::string>> others;  // other keys
  };

  // Enters a list or object; frames are kept for reuse, so that reading
  // millions of objects does not allocate their keys' room anew each time.
  Frame& Open(bool list) {
    if (name_ != nullptr && depth_ >= kMaxJsonNesting) {
      throw JobError(kTypeMismatch,
                     At(Path(depth_)) +
                         "too deeply nested: lists and objects may be nested "
                         "at most " +
                         std::to_string(kMaxJsonNesting) + " levels deep");
    }
    if (depth_ == frames_.size()) frames_.emplace_back();
    Frame& frame = frames_[depth_++];
    frame.list = list;
    frame.count = 0;
    frame.key.clear();
    frame.known.reset();
    if (frame.others) frame.others->clear();
    return frame;
  }

  void Close() { --depth_; }

  // A value of the innermost list or object is complete.
  void Completed() {
    if (depth_ > 0 && frames_[depth_ - 1].list) ++frames_[depth_ - 1].count;
  }

  // Takes the next key of the innermost object; `index` is its place in the
  // object's table, or -1. Refuses a key given twice.
  Frame& Key(std::string& key, int index) {
    Frame& frame = frames_[depth_ - 1];
    const bool repeated =
        index >= 0
            ? frame.known.test(static_cast<size_t>(index))
            : (frame.others && frame.others->find(key) != frame.others->end());
    if (repeated && name_ != nullptr) {
      throw JobError(rt::kDuplicateKey,
                     At(Join(Path(depth_ - 1), key)) + "the key \"" +
                         Shown(key) +
                         "\" appears twice in the same object; a key may be "
                         "given only once");
    }
    if (index >= 0) {
      frame.known.set(static_cast<size_t>(index));
    } else {
      if (!frame.others) {
        frame.others = std::make_unique<std::unordered_set<std::string>>();
      }
      frame.others->insert(key);
    }
    frame.key.swap(key);
    return frame;
  }

  // The path of the value being read inside the first `depth` open lists
  // and objects.
  std::string Path(size_t depth) const {
    std::string path = prefix_;
    for (size_t i = 0; i < depth; ++i) {
      const Frame& frame = frames_[i];
      path = frame.list ? Index(path, frame.count) : Join(path, frame.key);
    }
    return path;
  }

  // "job.json: blocchi[0].Importo: ", or the file's name alone.
  std::string At(const std::string& path) const {
    return *name_ + ": " + (path.empty() ? "" : path + ": ");
  }

  const std::string prefix_;
  size_t depth_ = 0;
  std::vector<Frame> frames_;

 private:
  const std::string* name_;
};

// Builds the value of a JSON text event by event, for ParseJsonText.
class JsonBuilder : public TextPlaces {
 public:
  JsonBuilder(Json& root, const std::string& name)
      : TextPlaces(&name), root_(root) {}

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
  bool start_object(std::size_t) { return Enter(Json::object()); }
  bool start_array(std::size_t) { return Enter(Json::array()); }
  bool end_object() { return Leave(); }
  bool end_array() { return Leave(); }
  bool key(Json::string_t& key) {
    Key(key, -1);
    return true;
  }

 private:
  // Puts `value` where the text places it; keys are unique by now, so an
  // object's entry is appended without a search.
  Json* Place(Json&& value) {
    if (depth_ == 0) {
      root_ = std::move(value);
      return &root_;
    }
    Json& parent = *containers_[depth_ - 1];
    if (parent.is_array()) {
      auto& list = parent.get_ref<Json::array_t&>();
      list.push_back(std::move(value));
      return &list.back();
    }
    auto& object = parent.get_ref<Json::object_t&>();
    object.emplace_back(frames_[depth_ - 1].key, std::move(value));
    return &object.back().second;
  }

  bool Add(Json&& value) {
    Place(std::move(value));
    Completed();
    return true;
  }

  bool Enter(Json&& container) {
    const bool list = container.is_array();
    Json* placed = Place(std::move(container));
    Open(list);
    containers_.resize(depth_);
    containers_.back() = placed;
    return true;
  }

  bool Leave() {
    Close();
    Completed();
    return true;
  }

  Json& root_;
  std::vector<Json*> containers_;
};

// What a list or object of a job is.
enum class Role : uint8_t {
  kOther,  // anything under a fault: still read, to check the text
  kJob,
  kCompany,
  kBlocks,
  kBlock,
  kAdd,
  kTransactions,
  kTransaction,
  kReferences,
  kReference,
  kProfile,  // the job's "profile": a name, not a property of the builder
};

const std::vector<Property<AddArguments>>& AddProperties() {
  static const std::vector<Property<AddArguments>> table = {
      ZSEPA_PROPERTY(AddArguments, TipoDistinta),
      ZSEPA_PROPERTY(AddArguments, NumeroDistinta),
      ZSEPA_PROPERTY(AddArguments, AnnoDistinta),
  };
  return table;
}

// The keys an object of the job takes: first its structural keys (lists
// and objects of their own, each with the role of its value), then its
// table's properties.
struct ObjectKeys {
  std::string_view what;  // for messages: "a transaction (CLSEP_TRANSFCREDIT)"
  std::vector<std::pair<std::string_view, Role>> structural;
  std::vector<std::string_view> names;  // structural, then properties
  std::unordered_map<std::string_view, int> index;

  template <typename T>
  ObjectKeys(std::string_view what_,
             std::vector<std::pair<std::string_view, Role>> structural_,
             const std::vector<Property<T>>& table)
      : what(what_), structural(std::move(structural_)) {
    for (const auto& [name, role] : structural) names.push_back(name);
    for (const Property<T>& property : table) names.push_back(property.name);
    if (names.size() > kMaxKnownKeys) {
      throw std::logic_error("too many keys for one object of a job");
    }
    for (size_t i = 0; i < names.size(); ++i) {
      index.emplace(names[i], static_cast<int>(i));
    }
  }

  int Find(std::string_view key) const {
    const auto found = index.find(key);
    return found == index.end() ? -1 : found->second;
  }
};

// The keys of an object of `role`, or nullptr for lists and kOther.
const ObjectKeys* KeysOf(Role role) {
  static const ObjectKeys job("the job",
                              {{"ditta", Role::kCompany},
                               {"blocchi", Role::kBlocks},
                               {"profile", Role::kProfile}},
                              BuilderProperties());
  static const ObjectKeys company("the company (ditta)", {},
                                  CompanyProperties());
  static const ObjectKeys block(
      "a payment block (CLSEP_INFOPAG)",
      {{"Add", Role::kAdd}, {"trasferimenti", Role::kTransactions}},
      BlockProperties());
  static const ObjectKeys add("Add", {}, AddProperties());
  static const ObjectKeys transaction("a transaction (CLSEP_TRANSFCREDIT)",
                                      {{"riferimenti", Role::kReferences}},
                                      TransactionProperties());
  static const ObjectKeys reference("a document reference (CLSEP_RIFSCA)", {},
                                    ReferenceProperties());
  switch (role) {
    case Role::kJob:
      return &job;
    case Role::kCompany:
      return &company;
    case Role::kBlock:
      return &block;
    case Role::kAdd:
      return &add;
    case Role::kTransaction:
      return &transaction;
    case Role::kReference:
      return &reference;
    default:
      return nullptr;
  }
}

[[noreturn]] void UnknownKey(const ObjectKeys& keys, std::string_view key,
                             const std::string& path) {
  std::string message = path + ": " + std::string(keys.what) +
                        " has no property named \"" + Shown(key) + "\"";
  const std::string suggestion = key.size() <= kLongestKeyToSuggestFor
                                     ? Suggestion(key, keys.names)
                                     : std::string();
  if (!suggestion.empty()) message += " (did you mean \"" + suggestion + "\"?)";
  throw JobError(kNoSuchProperty, message);
}

// The profiles by name, in the order messages list them.
constexpr FileProfile kProfiles[] = {FileProfile::kExact,
                                     FileProfile::kBank2026};

// "\"exact\" and \"bank-2026\"", or with `last` "or".
std::string ProfileNames(std::string_view last = "and") {
  constexpr size_t kCount = std::size(kProfiles);
  std::string names;
  for (size_t i = 0; i < kCount; ++i) {
    if (i > 0) names += i + 1 == kCount ? " " + std::string(last) + " " : ", ";
    names += "\"" + std::string(ProfileName(kProfiles[i])) + "\"";
  }
  return names;
}

// The value of the job's "profile" key.
FileProfile ProfileOf(const Value& value, const std::string& path) {
  if (value.type != Value::Type::kText) {
    WrongKind(path, "a profile name, " + ProfileNames("or"), value);
  }
  const std::optional<FileProfile> profile = ProfileNamed(*value.text);
  if (!profile) {
    throw JobError(rt::kInvalidArgument,
                   path + ": " + UnknownProfile(*value.text));
  }
  return *profile;
}

// Reads a job or a company file in one pass over its text, straight into
// the plan: no value of the whole file is built first. It checks each key
// and value as it comes and keeps the first fault; reading goes on to the
// end of the text, since a fault of the text itself (malformed JSON, a key
// given twice, nesting too deep, a number beyond a double) is reported
// before any fault of the job's content, wherever it lies.
class JobReader : public TextPlaces {
 public:
  // `name` and `prefix`: as for TextPlaces. `root`: kJob or kCompany.
  JobReader(const std::string* name, Role root, std::string prefix = {})
      : TextPlaces(name, std::move(prefix)), root_(root) {}

  bool null() { return Scalar({}); }
  bool boolean(bool value) {
    Value v;
    v.type = Value::Type::kBoolean;
    v.boolean = value;
    return Scalar(v);
  }
  bool number_integer(Json::number_integer_t value) {
    Value v;
    v.type = Value::Type::kInteger;
    v.integer = value;
    return Scalar(v);
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    Value v;
    v.type = Value::Type::kUnsigned;
    v.whole = value;
    return Scalar(v);
  }
  bool number_float(Json::number_float_t value, const Json::string_t&) {
    Value v;
    v.type = Value::Type::kReal;
    v.real = value;
    return Scalar(v);
  }
  bool string(Json::string_t& value) {
    Value v;
    v.type = Value::Type::kText;
    v.text = &value;
    return Scalar(v);
  }
  bool binary(Json::binary_t&) { return Scalar({}); }
  bool start_object(std::size_t) { return Enter(false); }
  bool start_array(std::size_t) { return Enter(true); }
  bool end_object() { return Leave(); }
  bool end_array() { return Leave(); }

  bool key(Json::string_t& key) {
    const Role role = roles_[depth_ - 1];
    const ObjectKeys* keys = KeysOf(role);
    const int index = keys != nullptr ? keys->Find(key) : -1;
    Key(key, index);
    expected_[depth_ - 1] = {};
    if (fault_ || keys == nullptr) return true;
    if (index < 0) {
      Fail([&] { UnknownKey(*keys, frames_[depth_ - 1].key, Path(depth_)); });
      return true;
    }
    const auto at = static_cast<size_t>(index);
    expected_[depth_ - 1] =
        at < keys->structural.size()
            ? Expected{keys->structural[at].second, -1}
            : Expected{Role::kOther,
                       static_cast<int>(at - keys->structural.size())};
    return true;
  }

  // The first fault of the job's content, if any.
  const std::optional<JobError>& fault() const { return fault_; }

  // The plan read; complete only when the text ended without a fault.
  Job& job() { return job_; }
  framework::CompanyValues& company() { return company_; }

 private:
  // What the value being read must be: a list or object of `role`, a
  // property of the enclosing object (its index in the table), or anything
  // (role kOther, property -1).
  struct Expected {
    Role role = Role::kOther;
    int property = -1;
  };

  template <typename Throw>
  void Fail(const Throw& raise) {
    try {
      raise();
    } catch (const JobError& error) {
      fault_.emplace(error);
    }
  }

  // The path of the value being read, as the job's messages name it.
  std::string ValuePath() const {
    if (depth_ > 0) return Path(depth_);
    return root_ == Role::kJob ? "the job" : prefix_;
  }

  Expected Next() const {
    if (depth_ == 0) return {root_, -1};
    if (!frames_[depth_ - 1].list) return expected_[depth_ - 1];
    switch (roles_[depth_ - 1]) {
      case Role::kBlocks:
        return {Role::kBlock, -1};
      case Role::kTransactions:
        return {Role::kTransaction, -1};
      case Role::kReferences:
        return {Role::kReference, -1};
      default:
        return {};
    }
  }

  static bool IsList(Role role) {
    return role == Role::kBlocks || role == Role::kTransactions ||
           role == Role::kReferences;
  }

  bool Scalar(const Value& value) {
    if (!fault_) {
      const Expected next = Next();
      if (next.property >= 0) {
        Assign(roles_[depth_ - 1], static_cast<size_t>(next.property), value);
      } else if (next.role == Role::kProfile) {
        Fail([&] { job_.profile = ProfileOf(value, ValuePath()); });
      } else if (next.role != Role::kOther) {
        Fail([&] {
          WrongKind(ValuePath(),
                    IsList(next.role) ? "a list [ ... ]" : "an object { ... }",
                    value);
        });
      }
    }
    Completed();
    return true;
  }

  bool Enter(bool list) {
    Role role = Role::kOther;
    if (!fault_) {
      const Expected next = Next();
      Value value;
      value.type = list ? Value::Type::kList : Value::Type::kObject;
      if (next.property >= 0) {
        // No property takes a list or an object: this names the fault.
        Assign(roles_[depth_ - 1], static_cast<size_t>(next.property), value);
      } else if (next.role == Role::kProfile) {
        Fail([&] { ProfileOf(value, ValuePath()); });
      } else if (next.role != Role::kOther) {
        if (IsList(next.role) == list) {
          role = next.role;
          Begin(role);
        } else {
          Fail([&] {
            WrongKind(ValuePath(),
                      list ? "an object { ... }" : "a list [ ... ]", value);
          });
        }
      }
    }
    Open(list);
    roles_.resize(depth_);
    expected_.resize(depth_);
    roles_.back() = role;
    expected_.back() = {};
    return true;
  }

  bool Leave() {
    if (!fault_) Finish(roles_[depth_ - 1]);
    Close();
    Completed();
    return true;
  }

  // A list or object of `role` starts: its place in the plan is made.
  void Begin(Role role) {
    switch (role) {
      case Role::kCompany:
        company_values_.clear();
        break;
      case Role::kBlock:
        job_.blocchi.emplace_back();
        break;
      case Role::kAdd:
        add_values_.clear();
        break;
      case Role::kTransaction:
        job_.blocchi.back().trasferimenti.emplace_back();
        transaction_values_.clear();
        break;
      case Role::kReference:
        job_.blocchi.back().trasferimenti.back().riferimenti.emplace_back();
        break;
      default:
        break;
    }
  }

  // An object of `role` ends: what needs all its keys is done.
  void Finish(Role role) {
    switch (role) {
      case Role::kCompany: {
        framework::CompanyValues& values =
            root_ == Role::kJob ? job_.ditta : company_;
        company_values_.ApplyTo(values);
        has_company_ = true;
        break;
      }
      case Role::kAdd:
        Fail([&] { job_.blocchi.back().add = TakeAdd(); });
        break;
      case Role::kTransaction:
        // A copy takes no more room than the values need.
        job_.blocchi.back().trasferimenti.back().values = transaction_values_;
        break;
      case Role::kJob:
        // Every statement reads the company's values: without them the job
        // could only fail later, on the database's account.
        if (!has_company_) {
          std::string names;
          for (const auto& property : CompanyProperties()) {
            names += (names.empty() ? "" : ", ") + std::string(property.name);
          }
          fault_.emplace(
              kArgumentMissing,
              "the job: missing `ditta`, the company values (" + names + ")");
        }
        break;
      default:
        break;
    }
  }

  AddArguments TakeAdd() {
    AddArguments arguments;
    for (const Property<AddArguments>& property : AddProperties()) {
      bool given = false;
      for (const auto& assignment : add_values_) {
        if (assignment.property == &property) {
          assignment.ApplyTo(arguments);
          given = true;
        }
      }
      if (!given) {
        throw JobError(kArgumentMissing,
                       Join(Path(depth_ - 1), property.name) +
                           ": missing; Add needs TipoDistinta, NumeroDistinta "
                           "and AnnoDistinta");
      }
    }
    return arguments;
  }

  template <typename T>
  void Take(const std::vector<Property<T>>& table, size_t index,
            const Value& value, Assignments<T>& into) {
    const Property<T>& property = table[index];
    Fail([&] {
      into.push_back({&property, Convert(property.kind, value,
                                         [this] { return ValuePath(); })});
    });
  }

  // Checks the value of the property at `index` of an object of `role`
  // and adds it to the plan.
  void Assign(Role role, size_t index, const Value& value) {
    switch (role) {
      case Role::kJob:
        return Take(BuilderProperties(), index, value, job_.values);
      case Role::kCompany:
        return Take(CompanyProperties(), index, value, company_values_);
      case Role::kBlock:
        return Take(BlockProperties(), index, value,
                    job_.blocchi.back().values);
      case Role::kAdd:
        return Take(AddProperties(), index, value, add_values_);
      case Role::kTransaction:
        return Take(TransactionProperties(), index, value, transaction_values_);
      case Role::kReference:
        return Take(
            ReferenceProperties(), index, value,
            job_.blocchi.back().trasferimenti.back().riferimenti.back());
      default:
        return;
    }
  }

  const Role root_;
  std::vector<Role> roles_;         // of each open list and object
  std::vector<Expected> expected_;  // objects: what the key's value must be
  std::optional<JobError> fault_;
  Job job_;
  framework::CompanyValues company_;
  bool has_company_ = false;
  Assignments<framework::CompanyValues> company_values_;
  Assignments<AddArguments> add_values_;
  Assignments<CLSEP_TRANSFCREDIT> transaction_values_;  // the one being read
};

// Feeds a parsed value to `reader` as the parser would, in the text's order,
// until the reader has found a fault. The depth stays small: only the lists
// and objects of a job's layout (seven levels) are entered without a fault.
void Walk(const Json& value, JobReader& reader) {
  switch (value.type()) {
    case Json::value_t::null:
      reader.null();
      return;
    case Json::value_t::boolean:
      reader.boolean(value.get<bool>());
      return;
    case Json::value_t::number_integer:
      reader.number_integer(value.get<int64_t>());
      return;
    case Json::value_t::number_unsigned:
      reader.number_unsigned(value.get<uint64_t>());
      return;
    case Json::value_t::number_float:
      reader.number_float(value.get<double>(), {});
      return;
    case Json::value_t::string: {
      std::string text = value.get<std::string>();
      reader.string(text);
      return;
    }
    case Json::value_t::object:
      reader.start_object(value.size());
      for (const auto& [key, member] : value.items()) {
        if (reader.fault()) return;
        std::string name = key;
        reader.key(name);
        if (reader.fault()) return;
        Walk(member, reader);
      }
      if (!reader.fault()) reader.end_object();
      return;
    case Json::value_t::array:
      reader.start_array(value.size());
      for (const Json& element : value) {
        if (reader.fault()) return;
        Walk(element, reader);
      }
      if (!reader.fault()) reader.end_array();
      return;
    default:
      reader.null();
      return;
  }
}

// Feeds `value` and what it holds to `reader` in the text's order, as the
// slow reader's parser would: a whole number without sign as unsigned, with
// a minus as signed, any other number as a double. simdjson's On-Demand
// reader checks the text as it goes, so every value is read to its end,
// also after the reader has found a fault of the content: a fault of the
// text further on must still send the text to the slow reader. False for a
// text simdjson refuses, and for a value the fast reading leaves to the slow
// one: a negative zero, which simdjson reads as a double where the slow
// parser may read an integer.
bool WalkFast(simdjson::ondemand::value value, JobReader& reader) {
  using simdjson::ondemand::json_type;
  json_type type;
  if (value.type().get(type) != simdjson::SUCCESS) return false;
  switch (type) {
    case json_type::object: {
      simdjson::ondemand::object object;
      if (value.get_object().get(object) != simdjson::SUCCESS) return false;
      reader.start_object(static_cast<std::size_t>(-1));
      for (auto result : object) {
        simdjson::ondemand::field field;
        if (std::move(result).get(field) != simdjson::SUCCESS) return false;
        // A key without escapes is taken as it stands, like a text.
        const char* raw = field.key().raw();
        const char* end = raw;
        while (*end != '"' && *end != '\\') ++end;
        std::string_view name(raw, static_cast<size_t>(end - raw));
        if (*end == '\\' &&
            field.unescaped_key().get(name) != simdjson::SUCCESS) {
          return false;
        }
        std::string key(name);
        reader.key(key);
        if (!WalkFast(field.value(), reader)) return false;
      }
      reader.end_object();
      return true;
    }
    case json_type::array: {
      simdjson::ondemand::array array;
      if (value.get_array().get(array) != simdjson::SUCCESS) return false;
      reader.start_array(static_cast<std::size_t>(-1));
      for (auto element : array) {
        simdjson::ondemand::value item;
        if (element.get(item) != simdjson::SUCCESS || !WalkFast(item, reader)) {
          return false;
        }
      }
      reader.end_array();
      return true;
    }
    case json_type::string: {
      // A text without escapes is taken as it stands in the file (whose
      // encoding simdjson checked as a whole), without unescaping it.
      // The value is still consumed through the reader, which checks what
      // follows it.
      std::string_view text = value.raw_json_token();
      text.remove_suffix(text.size() - text.find_last_not_of(" \t\r\n") - 1);
      if (text.size() >= 2 && text.back() == '"' &&
          text.find('\\') == std::string_view::npos) {
        simdjson::ondemand::raw_json_string raw;
        if (value.get_raw_json_string().get(raw) != simdjson::SUCCESS) {
          return false;
        }
        text = text.substr(1, text.size() - 2);
      } else if (value.get_string().get(text) != simdjson::SUCCESS) {
        return false;
      }
      std::string copy(text);
      reader.string(copy);
      return true;
    }
    case json_type::number: {
      simdjson::ondemand::number number;
      if (value.get_number().get(number) != simdjson::SUCCESS) return false;
      switch (number.get_number_type()) {
        case simdjson::ondemand::number_type::signed_integer:
          if (number.get_int64() < 0) {
            reader.number_integer(number.get_int64());
          } else {
            reader.number_unsigned(static_cast<uint64_t>(number.get_int64()));
          }
          return true;
        case simdjson::ondemand::number_type::unsigned_integer:
          reader.number_unsigned(number.get_uint64());
          return true;
        case simdjson::ondemand::number_type::floating_point_number: {
          const double real = number.get_double();
          if (real == 0 && std::signbit(real)) return false;
          std::string raw;
          reader.number_float(real, raw);
          return true;
        }
      }
      return false;
    }
    case json_type::boolean: {
      bool truth = false;
      if (value.get_bool().get(truth) != simdjson::SUCCESS) return false;
      reader.boolean(truth);
      return true;
    }
    case json_type::null: {
      bool null = false;
      if (value.is_null().get(null) != simdjson::SUCCESS || !null) return false;
      reader.null();
      return true;
    }
  }
  return false;
}

// Reads `text` with `reader` through simdjson, many times faster than the
// slow reader's parser, which lexes one character at a time, and without a
// value of the whole text: the same events in the same order. False, with
// `reader` to be dropped, when simdjson refuses the text or leaves a value to
// the slow reader, which then reads the whole text again and gives the
// messages of record. A job's root is an object; any other root is left to
// the slow reader.
bool ReadFast(JobReader& reader, simdjson::padded_string_view text) {
  simdjson::ondemand::parser parser;
  simdjson::ondemand::document document;
  if (parser.iterate(text).get(document) != simdjson::SUCCESS) return false;
  simdjson::ondemand::json_type type;
  if (document.type().get(type) != simdjson::SUCCESS ||
      type != simdjson::ondemand::json_type::object) {
    return false;
  }
  simdjson::ondemand::value root;
  if (document.get_value().get(root) != simdjson::SUCCESS ||
      !WalkFast(root, reader)) {
    return false;
  }
  // Anything after the root value is left to the slow reader too.
  return document.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

// Reads `text` (the file `name`) with a JobReader of `root`, and raises the
// fault it kept.
JobReader& ReadText(JobReader& reader, std::string_view text,
                    const std::string& name) {
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    throw JobError(kTypeMismatch, name + ": not valid JSON: the file is empty");
  }
  Json::sax_parse(text, &reader);
  if (reader.fault()) throw *reader.fault();
  return reader;
}

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

// The plan with its count of transactions.
Job Counted(Job&& job) {
  for (const BlockPlan& block : job.blocchi) {
    job.transaction_count += static_cast<int64_t>(block.trasferimenti.size());
  }
  return std::move(job);
}

}  // namespace

std::string UnknownProfile(std::string_view name) {
  std::string message = "no profile is named \"" + Shown(name) + "\"";
  std::vector<std::string_view> names;
  for (const FileProfile profile : kProfiles) {
    names.push_back(ProfileName(profile));
  }
  const std::string suggestion = name.size() <= kLongestKeyToSuggestFor
                                     ? Suggestion(name, names)
                                     : std::string();
  if (!suggestion.empty()) message += " (did you mean \"" + suggestion + "\"?)";
  return message + "; the profiles are " + ProfileNames();
}

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

const std::vector<Property<CLSEP_FILESEPA>>& PropertiesOf(
    const CLSEP_FILESEPA*) {
  return BuilderProperties();
}
const std::vector<Property<CLSEP_INFOPAG>>& PropertiesOf(const CLSEP_INFOPAG*) {
  return BlockProperties();
}
const std::vector<Property<CLSEP_TRANSFCREDIT>>& PropertiesOf(
    const CLSEP_TRANSFCREDIT*) {
  return TransactionProperties();
}
const std::vector<Property<CLSEP_RIFSCA>>& PropertiesOf(const CLSEP_RIFSCA*) {
  return ReferenceProperties();
}
const std::vector<Property<framework::CompanyValues>>& PropertiesOf(
    const framework::CompanyValues*) {
  return CompanyProperties();
}
const std::vector<Property<AddArguments>>& PropertiesOf(const AddArguments*) {
  return AddProperties();
}

framework::CompanyValues ParseCompany(const Json& company,
                                      const std::string& path) {
  JobReader reader(nullptr, Role::kCompany, path);
  Walk(company, reader);
  if (reader.fault()) throw *reader.fault();
  return reader.company();
}

Job ParseJob(const Json& job) {
  JobReader reader(nullptr, Role::kJob);
  Walk(job, reader);
  if (reader.fault()) throw *reader.fault();
  return Counted(std::move(reader.job()));
}

namespace {

// ParseJobText for a text followed by the padding simdjson reads past its
// end.
Job ParsePaddedJobText(simdjson::padded_string_view text,
                       const std::string& name) {
  {
    JobReader reader(&name, Role::kJob);
    if (ReadFast(reader, text)) {
      if (reader.fault()) throw *reader.fault();
      return Counted(std::move(reader.job()));
    }
  }
  JobReader reader(&name, Role::kJob);
  return Counted(std::move(ReadText(reader, text, name).job()));
}

}  // namespace

Job ParseJobText(std::string_view text, const std::string& name) {
  const simdjson::padded_string padded(text);
  return ParsePaddedJobText(padded, name);
}

framework::CompanyValues ParseCompanyText(std::string_view text,
                                          const std::string& name) {
  JobReader reader(&name, Role::kCompany);
  return ReadText(reader, text, name).company();
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
  const std::string text =
      ReadRegularFile(path, kMaxJsonFileBytes, simdjson::SIMDJSON_PADDING);
  return ParsePaddedJobText(
      simdjson::padded_string_view(text.data(), text.size(), text.capacity()),
      path);
}

framework::CompanyValues ReadCompany(const std::string& path) {
  return ParseCompanyText(ReadRegularFile(path, kMaxJsonFileBytes), path);
}

bool RunJob(Job& job, CLSEP_FILESEPA& builder, const ProgressFn& progress) {
  job.values.ApplyTo(builder);
  int64_t done = 0;
  for (BlockPlan& plan : job.blocchi) {
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
    plan.values.ApplyTo(*block);
    for (const TransactionPlan& transaction_plan : plan.trasferimenti) {
      const std::shared_ptr<CLSEP_TRANSFCREDIT> transaction =
          block->AddTrasfer();
      transaction_plan.values.ApplyTo(*transaction);
      for (const auto& reference_values : transaction_plan.riferimenti) {
        const std::shared_ptr<CLSEP_RIFSCA> reference =
            transaction->AddRiferimentoScadenza();
        reference_values.ApplyTo(*reference);
      }
      if (progress)
        progress("adding transactions", ++done, job.transaction_count);
    }
    std::vector<TransactionPlan>().swap(plan.trasferimenti);
  }
  return true;
}

}  // namespace zsepa::cli
