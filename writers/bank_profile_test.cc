#include "writers/bank_profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zsepa::writers {
namespace {

TEST(SepaCharactersTest, TransliteratesAndReplaces) {
  const std::pair<const char*, const char*> cases[] = {
      {"ok az AZ 09 /-?:().,'+", "ok az AZ 09 /-?:().,'+"},
      {"Città Perché Ñandú", "Citta Perche Nandu"},
      {"Straße Œuvre æ Þ", "Strasse OEuvre ae TH"},
      {"Łódź Dvořák Ĳssel", "Lodz Dvorak IJssel"},
      {"Rossi & Figli", "Rossi + Figli"},
      {"a@b_c#d*e<f>", "a.b.c.d.e.f."},
      {"\"q\" \xE2\x80\x9Cq\xE2\x80\x9D \xC2\xABq\xC2\xBB", "'q' 'q' 'q'"},
      {"a\tb\nc\rd", "a b c d"},
      {"1\xE2\x80\x93"
       "2",
       "1-2"},
      {"\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", ".. ."},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ToSepaCharacters(text), expected) << text;
  }
}

// The address a party gets: its elements as "tag=text" joined by " ", or
// the finding's code when it gets none.
std::string AddressOf(const AddressFields& fields, ExactAddress exact,
                      std::vector<Finding>& findings) {
  xml::Documento doc("Cdtr", "urn:x");
  ProfileAddress(doc, doc.Radice(), fields, exact, {1, 2, "Cdtr/PstlAdr"},
                 findings);
  doc.Completa();
  const framework::CompactTree::Node* address =
      framework::CompactTree::FirstChild(*doc.Tree().root());
  if (address == nullptr) return findings.empty() ? "" : findings.back().code;
  std::string text;
  for (const auto* e = framework::CompactTree::FirstChild(*address);
       e != nullptr; e = e->next) {
    if (!text.empty()) text += " ";
    text += std::string(e->tag) + "=" +
            std::string(framework::CompactTree::ContentOf(*e).text);
  }
  return text;
}

TEST(ProfileAddressTest, StructuredHybridLeftOutOrRefused) {
  const struct {
    AddressFields fields;
    ExactAddress exact;
    std::string address;
    const char* finding;  // the one finding, or nullptr for none
  } cases[] = {
      {{"ADDR", "Via Po ", "2", "10100", "Torino ", "TO", "IT", ""},
       ExactAddress::kStructured,
       "AdrTp=ADDR StrtNm=Via Po BldgNb=2 PstCd=10100 TwnNm=Torino "
       "CtrySubDvsn=TO Ctry=IT",
       nullptr},
      {{nullptr, "Via Po 2", "", "", "Torino", "", "IT", ""},
       ExactAddress::kFreeText,
       "StrtNm=Via Po 2 TwnNm=Torino Ctry=IT",
       "ADDRESS_STRUCTURED"},
      {{nullptr, "", "", "75001", "Paris", "", "FR",
        "12 rue de la Paix, escalier B, troisieme etage, porte gauche, "
        "au fond du couloir"},
       ExactAddress::kFreeText,
       "PstCd=75001 TwnNm=Paris Ctry=FR AdrLine=12 rue de la Paix, escalier "
       "B, troisieme etage, porte gauche, au fond",
       "ADDRESS_HYBRID"},
      {{nullptr, "Via Roma 1", "", "", "  ", "", "IT", ""},
       ExactAddress::kCountryOnly,
       "ADDRESS_LEFT_OUT",
       "ADDRESS_LEFT_OUT"},
      {{nullptr, "", "", "", "Oslo", "", "", ""},
       ExactAddress::kCountryOnly,
       "ADDRESS_LEFT_OUT",
       "ADDRESS_LEFT_OUT"},
      {{nullptr, "Bahnhofstrasse 1", "", "", "", "", "CH", ""},
       ExactAddress::kCountryOnly,
       "ADDRESS_TOWN_MISSING",
       "ADDRESS_TOWN_MISSING"},
      {{nullptr, "1 High St", "", "", "", "", "GB", ""},
       ExactAddress::kStructured,
       "ADDRESS_TOWN_MISSING",
       "ADDRESS_TOWN_MISSING"},
  };
  for (const auto& c : cases) {
    std::vector<Finding> findings;
    EXPECT_EQ(AddressOf(c.fields, c.exact, findings), c.address);
    ASSERT_EQ(findings.size(), c.finding != nullptr ? 1u : 0u) << c.address;
    if (c.finding == nullptr) continue;
    EXPECT_EQ(findings[0].code, c.finding);
    EXPECT_EQ(findings[0].severity,
              std::string(c.finding) == "ADDRESS_TOWN_MISSING"
                  ? Finding::Severity::kError
                  : Finding::Severity::kWarning);
    EXPECT_EQ(findings[0].transaction, 2);
    EXPECT_EQ(findings[0].field, "Cdtr/PstlAdr");
  }
}

}  // namespace
}  // namespace zsepa::writers
