#include "checks/checks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/utf8.h"
#include "checks/calendar.h"
#include "checks/identifiers.h"
#include "format/formatting.h"
#include "model/builder_blocks.h"
#include "model/fields.h"
#include "writers/credit_transfer_parts.h"
#include "writers/iban_form.h"
#include "zsepa/error.h"

// The pre-flight checks walk the blocks as the writer of the file kind
// would, and look at each value where that writer puts it: the element, its
// schema type, the text as written (as stored by the credit-transfer
// writers, cleaned by the direct-debit writer).

namespace zsepa::checks {
namespace {

using Severity = Finding::Severity;
using writers::FileKind;
using writers::NonBlank;

// NonBlank without a call for the common text that ends in another
// character than a space.
inline bool Filled(std::string_view text) {
  return !text.empty() && (text.back() != ' ' || NonBlank(text));
}
using writers::WithoutTrailingSpaces;

constexpr Severity kError = Severity::kError;
constexpr Severity kWarning = Severity::kWarning;

// The largest amount the files' amount type takes.
constexpr double kMaxAmount = 999999999.99;

// When a transaction text reaches the file, and how the schema takes it.
enum Flags : unsigned {
  kRequired = 1u << 0,           // blank: an empty element the schema refuses
  kOnlyWhenSet = 1u << 1,        // written only when not blank
  kCutByWriter = 1u << 2,        // the writer cuts it to the length
  kSingleLineAddress = 1u << 3,  // the block writes addresses as two lines
  kStructuredAddress = 1u << 4,  // the block writes structured addresses
  kFreeText = 1u << 5,           // free-text remittance
  kStructured = 1u << 6,         // structured remittance
  kForeignFormat = 1u << 7,      // FormatoFile 2
  kHolder = 1u << 8,             // a separate account holder (TitIBAN_)
  kItalianTaxId = 1u << 9,       // a tax identifier, checked when its
                                 // country code is "IT"
  kLengthOnly = 1u << 10,        // a second element of a value checked whole
                                 // by an earlier entry
};

struct TextField {
  const char* field;
  std::string CLSEP_TRANSFCREDIT::*member;
  const char* element;
  int32_t max_length;
  unsigned flags;
  // The country code that goes with the field (kItalianTaxId).
  std::string CLSEP_TRANSFCREDIT::*country = nullptr;
};

using T = CLSEP_TRANSFCREDIT;

// The CBI credit-transfer files (SEPA and cross-border).
const TextField kCbiTransferTexts[] = {
    {"RagioneSociale", &T::RagioneSociale, "Cdtr/Nm", 70, kRequired},
    {"RagioneSociale", &T::RagioneSociale, "CdtrRefInf/Tp/Issr", 35,
     kStructured | kLengthOnly},
    {"Indirizzo", &T::Indirizzo, "PstlAdr/AdrLine", 70,
     kRequired | kSingleLineAddress},
    {"CapCittaProvNazione", &T::CapCittaProvNazione, "PstlAdr/AdrLine", 70,
     kRequired | kSingleLineAddress},
    {"Indirizzo", &T::Indirizzo, "PstlAdr/StrtNm", 70,
     kOnlyWhenSet | kStructuredAddress},
    {"NumeroCivico", &T::NumeroCivico, "PstlAdr/BldgNb", 16,
     kOnlyWhenSet | kStructuredAddress},
    {"Cap", &T::Cap, "PstlAdr/PstCd", 16, kOnlyWhenSet | kStructuredAddress},
    {"Citta", &T::Citta, "PstlAdr/TwnNm", 35,
     kOnlyWhenSet | kStructuredAddress},
    {"Provincia", &T::Provincia, "PstlAdr/CtrySubDvsn", 35,
     kOnlyWhenSet | kStructuredAddress},
    {"PartitaIVA", &T::PartitaIVA, "Cdtr/Id/Othr/Id", 35,
     kRequired | kItalianTaxId, &T::CodiceIso},
    {"RiferimentoNonStrutturato", &T::RiferimentoNonStrutturato, "RmtInf/Ustrd",
     static_cast<int32_t>(writers::kUstrdLength),
     kRequired | kFreeText | kCutByWriter},
    {"Causale", &T::Causale, "PmtTpInf/CtgyPurp/Cd", 4, kOnlyWhenSet},
};

// The ISO 20022 file.
const TextField kIsoTransferTexts[] = {
    {"RagioneSociale", &T::RagioneSociale, "Cdtr/Nm", 140, kRequired},
    {"RiferimentoNonStrutturato", &T::RiferimentoNonStrutturato, "RmtInf/Ustrd",
     static_cast<int32_t>(writers::kUstrdLength),
     kRequired | kFreeText | kCutByWriter},
    {"CVSDescr", &T::CVSDescr, "RgltryRptg/Dtls/Cd", 10,
     kRequired | kForeignFormat},
};

// The direct-debit file: the customer's fields go into "Dbtr" or, with a
// separate account holder, into "UltmtDbtr"; the holder's into "Dbtr".
const TextField kDirectDebitTexts[] = {
    {"NumeroEffetto", &T::NumeroEffetto, "PmtId/EndToEndId", 35, kRequired},
    {"RiferimentoMandato", &T::RiferimentoMandato, "MndtRltdInf/MndtId", 35, 0},
    {"PrecedenteRiferimentoMandato", &T::PrecedenteRiferimentoMandato,
     "AmdmntInfDtls/OrgnlMndtId", 35, kOnlyWhenSet},
    {"RagioneSociale", &T::RagioneSociale, "Nm", 70, kRequired},
    {"Indirizzo", &T::Indirizzo, "PstlAdr/StrtNm", 70, kOnlyWhenSet},
    {"Cap", &T::Cap, "PstlAdr/PstCd", 16, kOnlyWhenSet},
    {"Citta", &T::Citta, "PstlAdr/TwnNm", 35, kOnlyWhenSet},
    {"Provincia", &T::Provincia, "PstlAdr/CtrySubDvsn", 35, kOnlyWhenSet},
    {"PartitaIVA", &T::PartitaIVA, "Id/PrvtId/Othr/Id", 35,
     kOnlyWhenSet | kItalianTaxId, &T::CodiceIso},
    {"TitIBAN_RagioneSociale", &T::TitIBAN_RagioneSociale, "Dbtr/Nm", 70,
     kRequired | kHolder},
    {"TitIBAN_Indirizzo", &T::TitIBAN_Indirizzo, "Dbtr/PstlAdr/StrtNm", 70,
     kOnlyWhenSet | kHolder},
    {"TitIBAN_Cap", &T::TitIBAN_Cap, "Dbtr/PstlAdr/PstCd", 16,
     kOnlyWhenSet | kHolder},
    {"TitIBAN_Citta", &T::TitIBAN_Citta, "Dbtr/PstlAdr/TwnNm", 35,
     kOnlyWhenSet | kHolder},
    {"TitIBAN_Provincia", &T::TitIBAN_Provincia, "Dbtr/PstlAdr/CtrySubDvsn", 35,
     kOnlyWhenSet | kHolder},
    {"TitIBAN_PartitaIVA", &T::TitIBAN_PartitaIVA, "Dbtr/Id/PrvtId/Othr/Id", 35,
     kOnlyWhenSet | kHolder | kItalianTaxId, &T::TitIBAN_CodiceIso},
    {"Causale", &T::Causale, "Purp/Cd", 35, kRequired},
    {"RiferimentoNonStrutturato", &T::RiferimentoNonStrutturato, "RmtInf/Ustrd",
     140, kRequired},
};

// The codes of a regulatory report that the cross-border schema lists.
constexpr std::string_view kRegulatoryCodes[] = {"INF", "SNR", "CVA", "CDV"};

bool IsCbiTransfer(FileKind kind) {
  return kind == FileKind::kCbiSepaCreditTransfer ||
         kind == FileKind::kCbiCrossBorderTransfer;
}

// The letters, digits and signs of the CBI / SEPA character set.
constexpr bool InCharacterSet(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
         (c >= U'0' && c <= U'9') ||
         std::u32string_view(U"/-?:().,'+ ").find(c) !=
             std::u32string_view::npos;
}

// The same for each byte: a text whose bytes are all in the set needs no
// decoding (the common case).
constexpr std::array<bool, 256> kSetBytes = [] {
  std::array<bool, 256> bytes{};
  for (int c = 0; c < 0x80; ++c) bytes[c] = InCharacterSet(char32_t(c));
  return bytes;
}();

bool AllInCharacterSet(std::string_view text) {
  for (const char c : text) {
    if (!kSetBytes[static_cast<unsigned char>(c)]) return false;
  }
  return true;
}

// Number of characters as the host counts them; bytes when all are ASCII.
size_t Characters(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return utf8::Length(text);
  }
  return text.size();
}

// Hash of the pieces of a key, each piece's hash mixed in with its length
// so that ("ab", "c") and ("a", "bc") differ.
uint64_t HashOf(std::initializer_list<std::string_view> pieces) {
  uint64_t hash = 0;
  for (const std::string_view piece : pieces) {
    hash ^= std::hash<std::string_view>{}(piece) + piece.size() +
            0x9e3779b97f4a7c15u + (hash << 6) + (hash >> 2);
  }
  return hash;
}

// Keys of a block's transactions by their hashes, in position order; after
// the block, the positions whose key equals an earlier one's. Sorting the
// hashes once costs less than a table of keys probed at random.
class Repeats {
 public:
  explicit Repeats(int32_t count) { entries_.reserve(count); }
  // Keeps the upper half of the hash with the position: keys whose halves
  // meet are compared, so a shorter hash only costs a comparison.
  void Add(uint64_t hash, int32_t position) {
    entries_.push_back((hash & 0xFFFFFFFF00000000u) |
                       static_cast<uint32_t>(position));
  }
  // (position, first position with the same key) in position order;
  // `same(a, b)` compares the keys of two positions whose hashes meet.
  template <typename Same>
  std::vector<std::pair<int32_t, int32_t>> Find(const Same& same) {
    std::sort(entries_.begin(), entries_.end());
    auto position = [](uint64_t entry) {
      return static_cast<int32_t>(entry & 0xFFFFFFFFu);
    };
    std::vector<std::pair<int32_t, int32_t>> repeats;
    for (size_t run = 0; run < entries_.size();) {
      size_t end = run + 1;
      while (end < entries_.size() &&
             (entries_[end] >> 32) == (entries_[run] >> 32)) {
        ++end;
      }
      for (size_t i = run + 1; i < end; ++i) {
        for (size_t j = run; j < i; ++j) {
          if (same(position(entries_[j]), position(entries_[i]))) {
            repeats.push_back({position(entries_[i]), position(entries_[j])});
            break;
          }
        }
      }
      run = end;
    }
    std::sort(repeats.begin(), repeats.end());
    return repeats;
  }

 private:
  std::vector<uint64_t> entries_;
};

// Reading the transactions waits on memory: each is an object of its own
// with texts of their own. Asks for the one after next and for the texts of
// the next ahead of time.
void FetchAhead(const CLSEP_INFOPAG& block, int32_t position) {
#if defined(__GNUC__)
  if (position + 2 <= block.Count()) {
    const char* object =
        reinterpret_cast<const char*>(block.Trasferimento(position + 2).get());
    for (size_t at = 0; at < sizeof(CLSEP_TRANSFCREDIT); at += 64) {
      __builtin_prefetch(object + at);
    }
  }
  if (position + 1 <= block.Count()) {
    const CLSEP_TRANSFCREDIT& next = *block.Trasferimento(position + 1);
    for (const std::string* text :
         {&next.RagioneSociale, &next.IBAN, &next.RiferimentoNonStrutturato,
          &next.Indirizzo, &next.CapCittaProvNazione, &next.PartitaIVA}) {
      __builtin_prefetch(text->data());
    }
  }
#else
  (void)block;
  (void)position;
#endif
}

// Whether NormalizzaTesto leaves `text` as it is (the common case, which
// needs no copy).
bool CleanAlready(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E || c == '&') return false;
  }
  return true;
}

// The clean text of a value as the direct-debit file writes it: the value
// without trailing blanks, through NormalizzaTesto when that changes it
// (then kept in `buffer`).
std::string_view CleanText(std::string_view raw, std::string& buffer) {
  const std::string_view trimmed = writers::WithoutTrailingSpaces(raw);
  if (CleanAlready(trimmed)) return trimmed;
  buffer = NormalizzaTesto(trimmed);
  return buffer;
}

// IsIbanFormaValida, as the writers decide where an account goes, without
// decoding an account whose first four characters are ASCII.
bool IbanShaped(std::string_view account) {
  if (account.size() < 4 ||
      std::any_of(account.begin(), account.begin() + 4, [](char c) {
        return static_cast<unsigned char>(c) >= 0x80;
      })) {
    return IsIbanFormaValida(account);
  }
  auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return letter(account[0]) && letter(account[1]) && digit(account[2]) &&
         digit(account[3]);
}

// An account outside Italy as the embedded database's FNEP_ISIBANESTERO
// decides it: two characters at least, the first two not "IT" in any case.
bool IsForeignAccount(std::string_view iban) {
  const bool ascii = iban.size() >= 2 &&
                     static_cast<unsigned char>(iban[0]) < 0x80 &&
                     static_cast<unsigned char>(iban[1]) < 0x80;
  if (!ascii && utf8::Length(iban) < 2) return false;
  const bool italian =
      (iban[0] == 'I' || iban[0] == 'i') && (iban[1] == 'T' || iban[1] == 't');
  return !italian;
}

// The amount as the file writes it, in cents; nothing when it cannot be
// read back (an amount beyond any the checks accept).
std::optional<int64_t> WrittenCents(double amount) {
  // Away from a half cent the rounding of FormattaImporto (15 significant
  // digits, then halves away from zero) is plain rounding: no text needed.
  const double scaled = amount * 100;
  if (std::fabs(scaled) < 1e12) {
    const double fraction = std::fabs(scaled - std::trunc(scaled));
    if (std::fabs(fraction - 0.5) > 1e-3) {
      return static_cast<int64_t>(std::llround(scaled));
    }
  }
  std::string text = FormattaImporto(Variant(amount));
  const size_t point = text.find('.');
  if (point == std::string::npos) return std::nullopt;
  text.erase(point, 1);
  int64_t cents = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), cents);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return cents;
}

class Checker {
 public:
  explicit Checker(const Subject& subject) : s_(subject) {}

  std::vector<Finding> Run() {
    if (s_.blocks == nullptr) {
      Add("NO_BLOCK_LIST", kError, "", "",
          "the builder has no block list: call Initialize and add a block");
      return std::move(findings_);
    }
    CheckCompany();
    created_ = s_.DataCreazioneSupporto.AsDate();
    CheckDate("DataCreazioneSupporto", "GrpHdr/CreDtTm",
              created_ ? std::optional<std::string>(created_->ToText())
                       : std::nullopt,
              false);
    const BlockList& blocks = *s_.blocks;
    if (blocks.Count() == 0) {
      Add("NO_BLOCK", kError, "", "",
          "the builder holds no block: SaveXML fails without one");
      return std::move(findings_);
    }
    if (blocks.Count() > 1) {
      Add("TOO_MANY_BLOCKS", kError, "", std::to_string(blocks.Count()),
          s_.kind == FileKind::kCbiDirectDebit
              ? "the file carries the first block only while its totals "
                "count all " +
                    std::to_string(blocks.Count()) + " blocks"
              : "SaveXML refuses a credit-transfer file with " +
                    std::to_string(blocks.Count()) +
                    " blocks: write one file per batch");
    }
    if (s_.kind == FileKind::kCbiDirectDebit) {
      block_ = 1;
      CheckDirectDebitBlock(*blocks.Item(1));
    } else {
      for (int32_t b = 1; b <= blocks.Count(); ++b) {
        block_ = b;
        CheckTransferBlock(*blocks.Item(b));
      }
    }
    block_ = 0;
    transaction_ = 0;
    CheckControlSum(blocks);
    return std::move(findings_);
  }

 private:
  void Add(const char* code, Severity severity, std::string field,
           std::string_view value, std::string message) {
    findings_.push_back({code, severity, block_, transaction_, reference_,
                         std::move(field), std::string(value), "",
                         std::move(message)});
  }

  // --- Texts -------------------------------------------------------------

  // A text that the file carries in `element` of at most `max_length`
  // characters (0: no limit of its own). `written` is the text as the file
  // has it; `raw` the value as the builder holds it.
  void CheckText(const char* field, const char* element, std::string_view raw,
                 std::string_view written, int32_t max_length, unsigned flags) {
    if (!Filled(written)) {
      if ((flags & kRequired) != 0) {
        Add("EMPTY_ELEMENT", kError, field, raw,
            std::string(element) +
                " is written empty; the schema needs a value");
      }
      return;
    }
    // A value of the character set alone (the common case) is written as
    // it is, one byte a character: one scan does for both checks.
    const bool plain = AllInCharacterSet(raw);
    const size_t length = plain ? written.size() : Characters(written);
    if (max_length > 0 && length > static_cast<size_t>(max_length)) {
      if ((flags & kCutByWriter) != 0) {
        Add("TEXT_CUT", kWarning, field, raw,
            std::to_string(length) +
                " characters; the file carries the first " +
                std::to_string(max_length) + " in " + element);
      } else {
        Add("TEXT_TOO_LONG", kError, field, raw,
            std::to_string(length) + " characters; " + element +
                " takes at most " + std::to_string(max_length));
      }
    }
    if (!plain && (flags & kLengthOnly) == 0) CheckCharacters(field, raw);
  }

  // Characters outside the CBI / SEPA set. The direct-debit file cleans
  // its texts: say which characters become "?".
  void CheckCharacters(const char* field, std::string_view raw) {
    if (AllInCharacterSet(raw)) return;
    std::string outside, replaced;
    int32_t count = 0;
    for (size_t pos = 0; pos < raw.size();) {
      const size_t start = pos;
      const char32_t c = utf8::Next(raw, pos);
      if (InCharacterSet(c)) continue;
      const bool becomes_question_mark = c < 0x20 || c > 0x7F;
      if (s_.kind == FileKind::kCbiDirectDebit && c == U'&') continue;
      std::string& list =
          s_.kind == FileKind::kCbiDirectDebit && becomes_question_mark
              ? replaced
              : outside;
      const std::string shown =
          c < 0x20 ? "U+00" + std::string(1, "0123456789ABCDEF"[c >> 4]) +
                         "0123456789ABCDEF"[c & 15]
                   : std::string(raw.substr(start, pos - start));
      if (++count <= 5 && list.find(shown) == std::string::npos) {
        list += (list.empty() ? "\"" : ", \"") + shown + "\"";
      }
    }
    if (count == 0) return;
    std::string message;
    if (!replaced.empty()) {
      message = "NormalizzaTesto writes \"?\" for " + replaced;
    }
    if (!outside.empty()) {
      if (!message.empty()) message += "; ";
      message += "outside the CBI/SEPA character set: " + outside;
    }
    Add("CHARACTER_SET", kWarning, field, raw, message);
  }

  void CheckTexts(const CLSEP_TRANSFCREDIT& transfer, unsigned context,
                  const TextField* begin, const TextField* end, bool clean) {
    constexpr unsigned kConditions = kSingleLineAddress | kStructuredAddress |
                                     kFreeText | kStructured | kForeignFormat |
                                     kHolder;
    for (const TextField* f = begin; f != end; ++f) {
      if ((f->flags & kConditions & ~context) != 0) continue;
      const std::string_view raw = transfer.*(f->member);
      if ((f->flags & kOnlyWhenSet) != 0 && !Filled(raw)) continue;
      if (!clean) {
        CheckText(f->field, f->element, raw, raw, f->max_length, f->flags);
      } else {
        const std::string_view trimmed = WithoutTrailingSpaces(raw);
        if (CleanAlready(trimmed)) {
          CheckText(f->field, f->element, raw, trimmed, f->max_length,
                    f->flags);
        } else {
          CheckText(f->field, f->element, raw, NormalizzaTesto(trimmed),
                    f->max_length, f->flags);
        }
      }
      if ((f->flags & kItalianTaxId) != 0 && Filled(raw) &&
          WithoutTrailingSpaces(transfer.*(f->country)) == "IT") {
        CheckTaxId(f->field, WithoutTrailingSpaces(raw));
      }
    }
  }

  // --- Identifiers -------------------------------------------------------

  void CheckIbanValue(const char* field, std::string_view iban,
                      std::string_view raw) {
    switch (CheckIban(iban)) {
      case Verdict::kValid:
        return;
      case Verdict::kForm:
        Add("IBAN_FORM", kError, field, raw,
            "not an IBAN: two capital letters, two digits, then letters and "
            "digits without blanks");
        return;
      case Verdict::kCountry:
        Add("IBAN_COUNTRY", kError, field, raw,
            "no IBAN is issued for the country " +
                std::string(iban.substr(0, 2)));
        return;
      case Verdict::kLength:
        Add("IBAN_LENGTH", kError, field, raw,
            std::to_string(iban.size()) + " characters; an IBAN of " +
                std::string(iban.substr(0, 2)) + " has " +
                std::to_string(IbanLength(iban.substr(0, 2))));
        return;
      case Verdict::kCheckDigits:
        Add("IBAN_CHECK_DIGITS", kError, field, raw,
            "the check digits do not match (ISO 13616 mod 97): a mistyped "
            "IBAN");
        return;
      case Verdict::kNationalForm:
        Add("IBAN_BANK_CODE", kError, field, raw,
            "an Italian IBAN has a CIN letter, then ABI and CAB of five "
            "digits each");
        return;
      case Verdict::kNationalCheck:
        Add("IBAN_CIN", kWarning, field, raw,
            std::string("the CIN should be ") + ItalianCin(iban.substr(5)) +
                ": the account number is probably mistyped");
        return;
    }
  }

  void CheckBicValue(const char* field, std::string_view bic,
                     std::string_view raw) {
    switch (CheckBic(bic)) {
      case Verdict::kValid:
        return;
      case Verdict::kCountry:
        Add("BIC_COUNTRY", kError, field, raw,
            "characters 5 and 6 of a BIC are a country code; " +
                std::string(bic.substr(4, 2)) + " is none");
        return;
      default:
        Add("BIC_FORM", kError, field, raw,
            "not a BIC: 8 or 11 capital letters and digits (institution, "
            "country, location, branch)");
        return;
    }
  }

  void CheckTaxId(const char* field, std::string_view value) {
    const bool person = value.size() == 16;
    switch (CheckItalianTaxId(value)) {
      case Verdict::kValid:
        return;
      case Verdict::kNationalCheck:
        Add(person ? "TAX_CODE_CHECK" : "VAT_NUMBER_CHECK", kWarning, field,
            value,
            person
                ? "the check letter of the Italian tax code (codice fiscale) "
                  "does not match"
                : "the check digit of the Italian VAT number does not match");
        return;
      default:
        Add(person ? "TAX_CODE_FORM" : "VAT_NUMBER_FORM", kWarning, field,
            value,
            "an Italian tax identifier is a VAT number of 11 "
            "digits or a tax code of 16 characters");
        return;
    }
  }

  // A country code as the file carries it.
  void CheckCountry(const char* field, std::string_view written,
                    std::string_view raw, const char* element) {
    if (!Filled(written)) {
      Add("EMPTY_ELEMENT", kError, field, raw,
          std::string(element) +
              " is written empty; the schema needs a "
              "country code");
    } else if (!IsCountryCode(written)) {
      Add("COUNTRY_CODE", kError, field, raw,
          "not an ISO 3166 country code of two capital letters");
    }
  }

  // --- Amounts and dates -------------------------------------------------

  void CheckAmount(double amount, std::string_view currency) {
    if (!(amount > 0)) {
      Add("AMOUNT_NOT_POSITIVE", kError, "Importo", FormatFixed(amount, 2),
          amount < 0 ? "a negative amount is written without its sign: the "
                       "file would pay it"
                     : "an amount of zero is refused");
    } else if (amount > kMaxAmount) {
      Add("AMOUNT_TOO_LARGE", kError, "Importo", FormatFixed(amount, 2),
          "above 999,999,999.99, the largest amount of the files");
    }
    const double cents = std::fabs(amount) * 100;
    if (std::isfinite(cents) && std::fabs(cents - std::nearbyint(cents)) >
                                    1e-6 * std::fmax(1.0, cents)) {
      Add("AMOUNT_DECIMALS", kWarning, "Importo", Variant(amount).ToText(),
          "more than two decimals: the file writes " +
              FormattaImporto(Variant(std::fabs(amount))));
    }
    if (currency.size() != 3 || !IsUpperText(currency)) {
      Add("CURRENCY", kError, "Divisa", currency,
          "Ccy needs three capital letters (ISO 4217)");
    }
  }

  static bool IsUpperText(std::string_view text) {
    for (const char c : text) {
      if (c < 'A' || c > 'Z') return false;
    }
    return true;
  }

  // A date the file carries as `written` ("YYYY-MM-DD…"; nothing: the
  // element is empty). `payment`: an execution or collection date, which
  // must not precede the creation date nor fall on a closing day.
  std::optional<Date> CheckDate(const char* field, const char* element,
                                const std::optional<std::string>& written,
                                bool payment) {
    const std::optional<Date> date =
        written ? Date::Parse(*written) : std::nullopt;
    if (!date) {
      Add("DATE_MISSING", kError, field, written.value_or(""),
          std::string(element) + " is written empty: no date");
      return std::nullopt;
    }
    return CheckDay(field, element, *date, payment) ? date : std::nullopt;
  }

  // What the checks ask of a day, worked out once per day of a file.
  struct DayFacts {
    bool in_range = false;
    bool before_creation = false;
    bool closing = false;
  };
  const DayFacts& FactsOf(const Date& day) {
    const auto [at, added] = days_.try_emplace(day.Serial());
    if (added) {
      at->second.in_range = day.Year() >= 2000 && day.Year() <= 2099;
      at->second.before_creation = created_ && day < created_->DatePart();
      at->second.closing = at->second.in_range && IsTargetClosingDay(day);
    }
    return at->second;
  }

  // A date the file carries: within 2000 to 2099; a `payment` date
  // (execution or collection) not before the creation date and not on a
  // closing day. False when it is out of range.
  bool CheckDay(const char* field, const char* element, const Date& date,
                bool payment) {
    const Date day = date.DatePart();
    const DayFacts& facts = FactsOf(day);
    if (!facts.in_range) {
      Add("DATE_OUT_OF_RANGE", kError, field, date.ToText(),
          std::string(element) + " is " + day.ToText() +
              ", outside the years 2000 to 2099" +
              (date.Serial() == 0 ? " (a Null date)" : ""));
      return false;
    }
    if (!payment) return true;
    if (facts.before_creation) {
      Add("DATE_BEFORE_CREATION", kError, field, date.ToText(),
          std::string(element) + " " + day.ToText() +
              " precedes the creation date " + created_->DatePart().ToText());
    } else if (facts.closing) {
      Add("DATE_CLOSING_DAY", kWarning, field, date.ToText(),
          day.ToText() +
              " is a TARGET2 closing day; the bank moves it to the next "
              "business day");
    }
    return true;
  }

  // --- The company and the blocks -----------------------------------------

  void CheckCompany() {
    if (s_.company == nullptr) return;
    const std::string name = s_.company->RagioneSocialeDitta();
    const bool direct_debit = s_.kind == FileKind::kCbiDirectDebit;
    const std::string written =
        direct_debit ? NormalizzaTesto(RTrimSpaces(name)) : name;
    CheckText("RagioneSocialeDitta", "InitgPty/Nm", name, written,
              s_.kind == FileKind::kIsoCreditTransfer ? 140 : 70, kRequired);
    if (!IsCbiTransfer(s_.kind)) return;
    // "Dbtr"/"Id" carries the company identifier, the alternative one when
    // the first is blank.
    const std::string first = s_.company->IdentificativoDitta();
    const bool alternative = !Filled(first);
    const char* field =
        alternative ? "IdentificativoDittaAlternativo" : "IdentificativoDitta";
    const std::string identifier = writers::CompanyIdentifier(*s_.company);
    CheckText(field, "Dbtr/Id/OrgId/Othr/Id", identifier, identifier, 35,
              kRequired);
    if (!identifier.empty()) CheckTaxId(field, identifier);
  }

  void CheckTransferBlock(const CLSEP_INFOPAG& block) {
    const bool cbi = IsCbiTransfer(s_.kind);
    const bool sepa = s_.kind == FileKind::kCbiSepaCreditTransfer;
    const bool foreign_format = s_.kind == FileKind::kCbiCrossBorderTransfer;
    const bool structured =
        s_.TipoStrutturaFile != zxEnumStrutturaSepa::NonStrutturato;

    const std::string_view iban = WithoutTrailingSpaces(block.IBAN);
    if (iban.empty()) {
      Add("EMPTY_ELEMENT", kError, "IBAN", block.IBAN,
          "DbtrAcct/Id/IBAN is written empty; the schema needs the IBAN");
    } else {
      CheckIbanValue("IBAN", iban, block.IBAN);
    }
    if (Filled(block.BicSwift)) {
      CheckBicValue("BicSwift",
                    cbi ? std::string_view(block.BicSwift)
                        : WithoutTrailingSpaces(block.BicSwift),
                    block.BicSwift);
    }
    if (sepa && TestoNonNullo(block.Abi).empty()) {
      Add("MISSING_ELEMENT", kError, "Abi", block.Abi.ToText(),
          "without the ABI code DbtrAgt has no ClrSysMmbId, which the schema "
          "needs");
    }
    CheckDate("DataValuta", "ReqdExctnDt",
              FormatDatePicture(block.DataValuta, "-"), true);
    if (structured && !cbi) {
      Add("STRUCTURED_NOT_WRITTEN", kWarning, "", "",
          "the ISO 20022 file carries no structured remittance: every RmtInf "
          "is written empty");
    }
    if (block.Count() == 0) {
      Add("BLOCK_WITHOUT_TRANSACTIONS", kError, "", "",
          "a payment group without transactions is refused by the schema");
      return;
    }

    unsigned context = 0;
    context |= structured ? kStructured : kFreeText;
    if (s_.FormatoFile == zxEnumFormatoFile::BonificoEsteroXML) {
      context |= kForeignFormat;
    }
    if (block.IndicatoreComposizioneIndirizzo ==
        zxEnumIndicatoreIndirizzoBonifici::IndirizzoSuSingoloTag) {
      context |= kSingleLineAddress;
    } else if (block.IndicatoreComposizioneIndirizzo ==
               zxEnumIndicatoreIndirizzoBonifici::IndirizzoStrutturato) {
      context |= kStructuredAddress;
    }
    Repeats payments(block.Count());
    const size_t first_finding = findings_.size();
    for (int32_t i = 1; i <= block.Count(); ++i) {
      transaction_ = i;
      FetchAhead(block, i);
      const CLSEP_TRANSFCREDIT& t = *block.Trasferimento(i);
      CheckAmount(t.Importo, t.Divisa);
      if (cbi) {
        CheckTexts(t, context, std::begin(kCbiTransferTexts),
                   std::end(kCbiTransferTexts), false);
        CheckCountry("CodiceIso", t.CodiceIso, t.CodiceIso,
                     "Cdtr/PstlAdr/Ctry");
      } else {
        CheckTexts(t, context, std::begin(kIsoTransferTexts),
                   std::end(kIsoTransferTexts), false);
        CheckIsoEndToEnd(t);
      }
      CheckCreditorAccount(t, sepa, (context & kForeignFormat) != 0);
      if (foreign_format && Filled(t.CVSTipo) &&
          std::find(std::begin(kRegulatoryCodes), std::end(kRegulatoryCodes),
                    t.CVSTipo) == std::end(kRegulatoryCodes)) {
        Add("REGULATORY_CODE", kError, "CVSTipo", t.CVSTipo,
            "RgltryRptg/Dtls/Cd takes INF, SNR, CVA or CDV, written as "
            "stored");
      }
      if (structured && cbi) CheckDocumentReference(t);
      const int64_t cents = AddPayment(payments, t, structured && cbi);
      if (block_ == 1) AddToSums(t.Importo, cents);
    }
    ReportRepeats(payments, block, structured && cbi, nullptr, first_finding);
  }

  // "CdtrAcct" and the creditor's agent.
  void CheckCreditorAccount(const CLSEP_TRANSFCREDIT& t, bool sepa,
                            bool foreign_format) {
    const std::string_view iban = WithoutTrailingSpaces(t.IBAN);
    if (iban.empty()) {
      Add("EMPTY_ELEMENT", kError, "IBAN", t.IBAN,
          "CdtrAcct/Id is written empty; the schema needs the account");
    } else if (!IbanShaped(t.IBAN)) {
      Add("ACCOUNT_NOT_IBAN", sepa ? kError : kWarning, "IBAN", t.IBAN,
          sepa ? "not IBAN-shaped: written as Othr/Id, which the CBI SEPA "
                 "schema refuses"
               : "not IBAN-shaped: written as Othr/Id");
    } else {
      CheckIbanValue("IBAN", iban, t.IBAN);
    }
    // Where the file names the creditor's bank, and whether it must.
    const bool agent_written =
        s_.kind == FileKind::kCbiCrossBorderTransfer ||
        (s_.kind == FileKind::kIsoCreditTransfer && foreign_format) ||
        (sepa && IsForeignAccount(t.IBAN));
    if (!agent_written) return;
    if (Filled(t.BicSwift)) {
      CheckBicValue("BicSwift", t.BicSwift, t.BicSwift);
    } else if (s_.kind != FileKind::kIsoCreditTransfer) {
      Add("BIC_MISSING", kError, "BicSwift", t.BicSwift,
          sepa ? "an account outside Italy needs the BIC of its bank "
                 "(CdtrAgt/FinInstnId/BIC)"
               : "the cross-border file needs the creditor's BIC (BICOrBEI)");
    }
  }

  // The first document reference, which structured remittance writes.
  void CheckDocumentReference(const CLSEP_TRANSFCREDIT& t) {
    if (t.Count() == 0) {
      Add("STRUCTURED_WITHOUT_REFERENCE", kError, "", "",
          "structured remittance needs a document reference: SaveXML fails "
          "without one");
      return;
    }
    reference_ = 1;
    const std::string& number = t.RiferimentoScadenza(1)->NumeroDocumento;
    CheckText("NumeroDocumento", "CdtrRefInf/Ref", number, number, 35,
              kRequired);
    reference_ = 0;
  }

  // "EndToEndId" of the ISO file: customer, document number and date.
  void CheckIsoEndToEnd(const CLSEP_TRANSFCREDIT& t) {
    std::string date = FormatDatePicture(t.DataDocumento, "");
    std::erase(date, '/');
    const std::string id =
        TestoNonNullo(t.Clifor) + "/" + t.NumeroDocumentoOrigine + "/" + date;
    if (utf8::Length(id) > 35) {
      Add("TEXT_TOO_LONG", kError, "NumeroDocumentoOrigine", id,
          "PmtId/EndToEndId (Clifor/NumeroDocumentoOrigine/DataDocumento) "
          "has " +
              std::to_string(utf8::Length(id)) + " characters; at most 35");
    }
    CheckCharacters("NumeroDocumentoOrigine", t.NumeroDocumentoOrigine);
  }

  // What tells a payment: the account (the name without one), the amount
  // as written and the remittance (the first document reference of
  // structured remittance).
  struct Payment {
    std::string_view account;
    int64_t cents;
    std::string_view remittance;
    bool operator==(const Payment&) const = default;
  };
  static Payment PaymentOf(const CLSEP_TRANSFCREDIT& t, bool structured) {
    std::string_view remittance = t.RiferimentoNonStrutturato;
    if (structured) {
      remittance =
          t.Count() > 0
              ? std::string_view(t.RiferimentoScadenza(1)->NumeroDocumento)
              : std::string_view();
    }
    return {WithoutTrailingSpaces(Filled(t.IBAN) ? t.IBAN : t.RagioneSociale),
            WrittenCents(std::fabs(t.Importo)).value_or(-1), remittance};
  }

  // Remembers the payment of a transaction; gives its amount as written,
  // in cents (-1 when it cannot be written).
  int64_t AddPayment(Repeats& payments, const CLSEP_TRANSFCREDIT& t,
                     bool structured) {
    if (!std::isfinite(t.Importo)) return -1;
    const Payment payment = PaymentOf(t, structured);
    const std::string_view cents(reinterpret_cast<const char*>(&payment.cents),
                                 sizeof payment.cents);
    payments.Add(HashOf({payment.account, cents, payment.remittance}),
                 transaction_);
    return payment.cents;
  }

  // The repeated payments of a block (and end-to-end identifiers), each
  // reported with its transaction: the block's findings from
  // `first_finding` on are put back in transaction order, the repeats last
  // within their transaction.
  void ReportRepeats(Repeats& payments, const CLSEP_INFOPAG& block,
                     bool structured, Repeats* end_to_end,
                     size_t first_finding) {
    const size_t before = findings_.size();
    if (end_to_end != nullptr) {
      for (const auto& [position, first] :
           end_to_end->Find([&](int32_t a, int32_t b) {
             std::string one, other;
             return CleanText(block.Trasferimento(a)->NumeroEffetto, one) ==
                    CleanText(block.Trasferimento(b)->NumeroEffetto, other);
           })) {
        transaction_ = position;
        Add("DUPLICATE_END_TO_END", kError, "NumeroEffetto",
            block.Trasferimento(position)->NumeroEffetto,
            "the end-to-end identifier of transaction " +
                std::to_string(first) + " again");
      }
    }
    for (const auto& [position, first] :
         payments.Find([&](int32_t a, int32_t b) {
           return PaymentOf(*block.Trasferimento(a), structured) ==
                  PaymentOf(*block.Trasferimento(b), structured);
         })) {
      transaction_ = position;
      Add("DUPLICATE_PAYMENT", kWarning, "", "",
          "same creditor account, amount and remittance as transaction " +
              std::to_string(first));
    }
    transaction_ = 0;
    if (findings_.size() == before) return;
    std::stable_sort(findings_.begin() + static_cast<ptrdiff_t>(first_finding),
                     findings_.end(), [](const Finding& a, const Finding& b) {
                       return a.transaction < b.transaction;
                     });
  }

  void CheckDirectDebitBlock(const CLSEP_INFOPAG& block) {
    const std::string iban = NormalizzaTesto(RTrimSpaces(block.IBAN));
    if (iban.empty()) {
      Add("EMPTY_ELEMENT", kError, "IBAN", block.IBAN,
          "CdtrAcct/Id/IBAN is written empty; the schema needs the IBAN");
    } else {
      CheckIbanValue("IBAN", iban, block.IBAN);
    }
    if (TestoNonNullo(block.Abi).empty()) {
      Add("EMPTY_ELEMENT", kError, "Abi", block.Abi.ToText(),
          "CdtrAgt/FinInstnId/ClrSysMmbId/MmbId is written empty");
    }
    const std::string creditor =
        NormalizzaTesto(RTrimSpaces(block.CreditorIdentifier));
    if (creditor.empty()) {
      Add("EMPTY_ELEMENT", kError, "CreditorIdentifier",
          block.CreditorIdentifier,
          "CdtrSchmeId/Id/PrvtId/Othr/Id is written empty; a direct debit "
          "needs the creditor identifier");
    } else {
      switch (CheckCreditorIdentifier(creditor)) {
        case Verdict::kValid:
          break;
        case Verdict::kCheckDigits:
          Add("CREDITOR_ID_CHECK_DIGITS", kError, "CreditorIdentifier",
              block.CreditorIdentifier,
              "the check digits of the creditor identifier do not match "
              "(mod 97 over its national identifier)");
          break;
        default:
          Add("CREDITOR_ID_FORM", kError, "CreditorIdentifier",
              block.CreditorIdentifier,
              "not a SEPA creditor identifier: country, two check digits, "
              "business code, national identifier (11 or 16 characters for "
              "Italy)");
          break;
      }
    }
    const std::string cuc = NormalizzaTesto(RTrimSpaces(block.CodiceCUC));
    if (cuc.empty()) {
      Add("EMPTY_ELEMENT", kError, "CodiceCUC", block.CodiceCUC,
          "InitgPty/Id/OrgId/Othr/Id is written empty; the file needs the "
          "CBI customer code");
    } else if (!IsCuc(cuc)) {
      Add("CUC_FORM", kError, "CodiceCUC", block.CodiceCUC,
          "the CBI customer code has eight letters or digits");
    }
    const int32_t scheme = ToInt(block.TipoIncassoRidSDD);
    if (scheme < ToInt(zxEnumTipoIncassoRidSDD::SDDCore) ||
        scheme > ToInt(zxEnumTipoIncassoRidSDD::SDDCoreAndB2B)) {
      Add("SCHEME_UNSET", kWarning, "TipoIncassoRidSDD", std::to_string(scheme),
          "no direct-debit scheme: the file says B2B (3 gives CORE)");
    }
    if (block.Count() == 0) {
      Add("BLOCK_WITHOUT_TRANSACTIONS", kError, "", "",
          "a direct-debit file without transactions has no PmtInf, which the "
          "schema needs");
      return;
    }

    const std::vector<const fields::Field<CLSEP_TRANSFCREDIT>*> columns =
        TextColumns();
    Repeats payments(block.Count()), end_to_end(block.Count());
    const size_t first_finding = findings_.size();
    for (int32_t i = 1; i <= block.Count(); ++i) {
      transaction_ = i;
      FetchAhead(block, i);
      const CLSEP_TRANSFCREDIT& t = *block.Trasferimento(i);
      CheckColumns(t, columns);
      CheckAmount(t.Importo, WithoutTrailingSpaces(t.Divisa));
      const bool holder = t.TitIBAN_Esistente == 1;
      CheckTexts(t, holder ? unsigned{kHolder} : 0u,
                 std::begin(kDirectDebitTexts), std::end(kDirectDebitTexts),
                 true);
      std::string buffer;
      CheckCountry("CodiceIso", CleanText(t.CodiceIso, buffer), t.CodiceIso,
                   "PstlAdr/Ctry");
      if (holder) {
        CheckCountry("TitIBAN_CodiceIso",
                     CleanText(t.TitIBAN_CodiceIso, buffer),
                     t.TitIBAN_CodiceIso, "Dbtr/PstlAdr/Ctry");
      }
      CheckDebtorAccount(t);
      CheckMandate(t);
      const int32_t sequence = ToInt(t.TipoSequenzaRidSDD);
      if (sequence < 0 || sequence > 3) {
        Add("SEQUENCE_TYPE", kError, "TipoSequenzaRidSDD",
            std::to_string(sequence),
            "SeqTp is written empty: the sequence type is 0 FRST, 1 RCUR, "
            "2 FNAL or 3 OOFF");
      }
      if (Filled(t.NumeroEffetto)) {
        std::string buffer;
        end_to_end.Add(HashOf({CleanText(t.NumeroEffetto, buffer)}),
                       transaction_);
      }
      AddToSums(t.Importo, AddPayment(payments, t, false));
    }
    ReportRepeats(payments, block, false, &end_to_end, first_finding);
  }

  // The text columns of the transactions recordset, which refuses a longer
  // text and so fails the direct-debit file.
  static std::vector<const fields::Field<CLSEP_TRANSFCREDIT>*> TextColumns() {
    std::vector<const fields::Field<CLSEP_TRANSFCREDIT>*> text;
    for (const auto* field : fields::RecordsetColumns()) {
      if (field->kind == fields::FieldKind::kText && field->column.size > 0) {
        text.push_back(field);
      }
    }
    return text;
  }

  void CheckColumns(
      const CLSEP_TRANSFCREDIT& t,
      const std::vector<const fields::Field<CLSEP_TRANSFCREDIT>*>& columns) {
    for (const auto* field : columns) {
      const auto& value = *static_cast<const std::string*>(field->address(t));
      if (value.size() <= static_cast<size_t>(field->column.size)) continue;
      const size_t length = utf8::Length(value);
      if (length > static_cast<size_t>(field->column.size)) {
        Add("RECORDSET_COLUMN", kError, std::string(field->name), value,
            std::to_string(length) +
                " characters; the transactions "
                "recordset holds " +
                std::to_string(field->column.size) +
                ", so SaveXML fails (0x80040e21)");
      }
    }
  }

  void CheckDebtorAccount(const CLSEP_TRANSFCREDIT& t) {
    std::string buffer;
    const std::string_view iban = CleanText(t.IBAN, buffer);
    if (iban.empty()) {
      Add("EMPTY_ELEMENT", kError, "IBAN", t.IBAN,
          "DbtrAcct/Id/IBAN is written empty; the schema needs the IBAN");
    } else {
      CheckIbanValue("IBAN", iban, t.IBAN);
    }
    if (Filled(t.PrecedenteIbanMandato)) {
      CheckIbanValue("PrecedenteIbanMandato",
                     CleanText(t.PrecedenteIbanMandato, buffer),
                     t.PrecedenteIbanMandato);
    }
    if (!IsForeignAccount(t.IBAN)) return;
    const std::string_view bic = CleanText(t.BicSwift, buffer);
    if (bic.empty()) {
      Add("BIC_MISSING", kError, "BicSwift", t.BicSwift,
          "a debtor account outside Italy needs the BIC of its bank "
          "(DbtrAgt/FinInstnId/BIC)");
    } else {
      CheckBicValue("BicSwift", bic, t.BicSwift);
    }
  }

  void CheckMandate(const CLSEP_TRANSFCREDIT& t) {
    if (!Filled(t.RiferimentoMandato)) {
      Add("MANDATE_REFERENCE_MISSING", kError, "RiferimentoMandato",
          t.RiferimentoMandato,
          "a direct debit needs the reference of its mandate (MndtId)");
    }
    const bool collection =
        CheckDay("Scadenza", "ReqdColltnDt", t.Scadenza, true);
    if (t.DataMandato == Date()) {
      Add("MANDATE_DATE_MISSING", kError, "DataMandato", t.DataMandato.ToText(),
          "a direct debit needs the date its mandate was signed (DtOfSgntr)");
      return;
    }
    const bool signed_on =
        CheckDay("DataMandato", "DtOfSgntr", t.DataMandato, false);
    if (signed_on && collection &&
        t.DataMandato.DatePart() > t.Scadenza.DatePart()) {
      Add("MANDATE_AFTER_COLLECTION", kError, "DataMandato",
          t.DataMandato.ToText(),
          "the mandate is signed after the collection date " +
              t.Scadenza.DatePart().ToText());
    }
  }

  // The control sum the group header carries against the sum of the
  // amounts as the file writes them.
  // Adds a transaction of the written block to the sums: the block's total
  // as TotaleImportoTrasferimenti makes it (absolute amounts in list order)
  // and the amounts as the file writes them.
  void AddToSums(double amount, int64_t cents) {
    written_total_ += std::fabs(amount);
    if (cents >= 0) {
      written_cents_ += cents;
    } else {
      sums_known_ = false;
    }
  }

  // The control sum the group header carries (the builder's total over all
  // blocks) against the sum of the amounts as the file writes them.
  void CheckControlSum(const BlockList& blocks) {
    // A credit-transfer file of several blocks is refused before its sums
    // matter.
    if (s_.kind != FileKind::kCbiDirectDebit && blocks.Count() > 1) return;
    if (!sums_known_) return;
    double total = written_total_;
    try {
      for (int32_t b = 2; b <= blocks.Count(); ++b) {
        total += blocks.Item(b)->TotaleImportoTrasferimenti();
      }
    } catch (const Error&) {
      return;  // an overflow: the amounts have their own findings
    }
    const std::optional<int64_t> header =
        std::isfinite(total) ? WrittenCents(total) : std::nullopt;
    if (header && *header != written_cents_) {
      Add("CONTROL_SUM", kError, "", FormattaImporto(Variant(total)),
          "GrpHdr/CtrlSum " + FormattaImporto(Variant(total)) +
              " differs from the sum of the amounts as written, " +
              FormatFixed(static_cast<double>(written_cents_) / 100, 2) +
              "; banks refuse the file");
    }
  }

  const Subject& s_;
  std::vector<Finding> findings_;
  std::optional<Date> created_;
  double written_total_ = 0;
  int64_t written_cents_ = 0;
  bool sums_known_ = true;
  std::unordered_map<double, DayFacts> days_;
  int32_t block_ = 0;
  int32_t transaction_ = 0;
  int32_t reference_ = 0;
};

}  // namespace

std::vector<Finding> Check(const Subject& subject) {
  return Checker(subject).Run();
}

}  // namespace zsepa::checks

namespace zsepa {

std::vector<Finding> CheckBeforeSave(const CLSEP_FILESEPA& builder) {
  checks::Subject subject;
  subject.kind =
      writers::KindOf(builder.FormatoFile, builder.CodiceIsoLocalizzazione);
  subject.FormatoFile = builder.FormatoFile;
  subject.TipoStrutturaFile = builder.TipoStrutturaFile;
  subject.DataCreazioneSupporto = builder.DataCreazioneSupporto;
  subject.blocks = BlocksOf(builder);
  if (builder.ActiveInterface != nullptr) {
    subject.company =
        &builder.ActiveInterface->ContestoLavoro().DittaCorrente();
  }
  return checks::Check(subject);
}

bool HasErrors(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (finding.severity == Finding::Severity::kError) return true;
  }
  return false;
}

}  // namespace zsepa
