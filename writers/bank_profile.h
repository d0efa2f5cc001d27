#ifndef ZSEPA_WRITERS_BANK_PROFILE_H_
#define ZSEPA_WRITERS_BANK_PROFILE_H_

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/compact_tree.h"
#include "writers/writer.h"
#include "writers/xml_builder.h"
#include "zsepa/finding.h"

// The bank-2026 profile (zsepa/profile.h). The writers build the exact file;
// under the profile they write postal addresses through ProfileAddress, and
// RewriteForProfile then turns the finished tree into the current version of
// the format. Every change against the exact file becomes a finding of
// warning severity, every element the profile cannot write one of error
// severity, in the terms of zsepa/finding.h.

namespace zsepa::writers {

// Where a finding is, counted in the file: the "PmtInf" group, the
// transaction record (over the whole file) and the element's path from the
// record, else from the group, else from the message.
struct FilePlace {
  int32_t block = 0;
  int32_t transaction = 0;
  std::string_view path;
};

// The fields of a postal address as the host or the master data give them
// (trailing blanks are ignored).
struct AddressFields {
  const char* type = nullptr;  // the "AdrTp" code, or nullptr
  std::string_view street, building, postcode, town, province, country;
  // A free-text line, written (hybrid form) when there is no street.
  std::string_view line;
};

// How the exact file writes the same address.
enum class ExactAddress { kStructured, kFreeText, kCountryOnly };

// Appends to `party` the address of `fields` as the November 2026 rules want
// it: structured, or hybrid (town and country plus the free-text line); left
// out when the town or the country is unknown and the counterparty is in the
// EEA (or its country is unknown); refused (an error finding) for a
// counterparty outside the EEA without a town.
void ProfileAddress(xml::Documento& doc, xml::Element& party,
                    const AddressFields& fields, ExactAddress exact,
                    const FilePlace& place, std::vector<Finding>& findings);

// `text` in the SEPA character set (basic Latin letters, digits,
// "/-?:().,'+" and space): accented letters lose their accents ("à" → "a",
// "ß" → "ss"), "&" becomes "+", any other character ".".
std::string ToSepaCharacters(std::string_view text);

// Whether `country` (ISO 3166 alpha-2) is in the European Economic Area.
bool IsInEea(std::string_view country);

// Rewrites the finished tree of a file of `kind` into the current version of
// its format: namespace, renamed and wrapped elements, the cross-border
// creditor's identification choice, empty elements left out or refused,
// texts in the SEPA character set. Appends the findings.
void RewriteForProfile(FileKind kind, framework::CompactTree& tree,
                       std::vector<Finding>& findings);

// The save of one file, begun as soon as its document exists. Under the
// exact profile, where the context's file service allows, the document is
// written into the file while it is built (xml::Documento::ScriviDurante),
// so that it is never held whole in memory. A save that cannot start keeps
// its error until Complete, so that a failure of the build is raised first,
// as when the whole document is saved at the end.
class DocumentSave {
 public:
  DocumentSave(const WriteContext& context, xml::Documento& doc,
               const std::string& PercorsoFile);
  ~DocumentSave();
  DocumentSave(const DocumentSave&) = delete;
  DocumentSave& operator=(const DocumentSave&) = delete;

  // Completes and saves the document through the context's file service;
  // under the bank-2026 profile first rewrites it (RewriteForProfile) and,
  // when a finding is an error, raises codes::kProfileRefused instead, so
  // that nothing is written.
  void Complete();

 private:
  const WriteContext& context_;
  xml::Documento& doc_;
  const std::string& path_;
  std::unique_ptr<framework::XmlSaveStream> stream_;
  std::exception_ptr failure_;  // why the save could not start
};

}  // namespace zsepa::writers

#endif  // ZSEPA_WRITERS_BANK_PROFILE_H_
