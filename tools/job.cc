#include "tools/job.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <type_traits>

#include "base/ascii.h"
#include "zsepa/date.h"

namespace zsepa::cli {
namespace {

using Json = nlohmann::ordered_json;

// Classic run-time numbers for faults of a job.
constexpr int32_t kOverflow = 6;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kNoSuchProperty = 438;
constexpr int32_t kArgumentMissing = 449;

// A settable property that is not a stored field of the object model
// (builder values, company values, Add's arguments): no dispatch identifier
// of its own here.
#define ZSEPA_PROPERTY(Class, Name) fields::MakeField<&Class::Name>(#Name, 0)

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
      return "a date (\"YYYY-MM-DD\" or \"YYYY-MM-DDThh:mm:ss\")";
    case FieldKind::kVariant:
      return "text, a number, true/false, null or a date";
  }
  return "";
}

std::string Describe(const Json& value) {
  std::string shown = value.dump();
  if (shown.size() > 40) shown = shown.substr(0, 37) + "...";
  switch (value.type()) {
    case Json::value_t::string:
      return "the text " + shown;
    case Json::value_t::boolean:
      return shown;
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "a list";
    default:
      return "the number " + shown;
  }
}

[[noreturn]] void WrongKind(const std::string& path, const std::string& wanted,
                            const Json& value) {
  throw JobError(kTypeMismatch,
                 path + ": expected " + wanted + ", found " + Describe(value));
}

[[noreturn]] void DoesNotFit(const std::string& path, FieldKind kind,
                             const Json& value) {
  throw JobError(kOverflow, path + ": " + value.dump() +
                                " does not fit this field, which takes " +
                                KindName(kind));
}

// "YYYY-MM-DD" or "YYYY-MM-DDThh:mm:ss", digits where digits belong.
bool HasDateForm(std::string_view text) {
  static constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != 10 && text.size() != kForm.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char want = kForm[i];
    if (want == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                    : text[i] != want) {
      return false;
    }
  }
  return true;
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
                        " has no property named \"" + std::string(key) + "\"";
  const std::string suggestion = Suggestion(key, structural);
  if (!suggestion.empty()) message += " (did you mean \"" + suggestion + "\"?)";
  throw JobError(kNoSuchProperty, message);
}

std::string Join(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
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
  plan.values = ReadObject(
      job, "", BuilderProperties(), {"ditta", "blocchi"}, "the job",
      [&](std::string_view key, const Json& value, const std::string& path) {
        if (key == "ditta") {
          plan.ditta = ParseCompany(value, path);
          return;
        }
        size_t i = 0;
        for (const Json& block : ListAt(value, path)) {
          plan.blocchi.push_back(ReadBlock(block, Index(path, i++)));
        }
      });
  for (const BlockPlan& block : plan.blocchi) {
    plan.transaction_count += static_cast<int64_t>(block.trasferimenti.size());
  }
  return plan;
}

Json ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw JobError(kFileNotFound, path + ": cannot open the file");
  }
  std::stringstream text;
  text << in.rdbuf();
  try {
    return Json::parse(text.str());
  } catch (const nlohmann::json::parse_error& error) {
    // The parser's text names the position ("at line 3, column 5").
    std::string reason = error.what();
    const auto colon = reason.find("]");
    if (colon != std::string::npos) reason = reason.substr(colon + 2);
    throw JobError(kTypeMismatch, path + ": not valid JSON: " + reason);
  }
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
