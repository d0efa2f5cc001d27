#include "writers/xml_builder.h"

#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "framework/xml_document.h"
#include "zsepa/error.h"

namespace zsepa::xml {
namespace {

constexpr char kNs[] = "urn:CBI:xsd:CBIPaymentRequest.00.04.00";

// The document as the file service writes it (declaration, two-space
// indentation).
std::string Dump(const framework::XmlDocument& doc) {
  xmlChar* buffer = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(framework::TreeOf(doc), &buffer, &size, "UTF-8", 1);
  std::string text(reinterpret_cast<char*>(buffer), static_cast<size_t>(size));
  xmlFree(buffer);
  return text;
}

// Escaping, amounts and namespaces are the golden files' business; here the
// characters a file rarely holds and an element never attached (freed).
TEST(XmlBuilderTest, KeepsTabsLineBreaksAndAstralCharacters) {
  Documento doc("R", kNs);
  Element header = doc.NuovoElemento("GrpHdr");
  doc.AggiungiElemento(header, "Vuoto");
  doc.AggiungiElemento(header, "Ustrd", "a\tb\nc\rd \xF0\x9F\x98\x80");
  doc.Aggiungi(doc.Radice(), std::move(header));
  Element left_out = doc.NuovoElemento("PmtTpInf");
  doc.AggiungiElemento(left_out, "Cd", "SEPA");
  EXPECT_EQ(Dump(doc.Completa()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<R xmlns=\"urn:CBI:xsd:CBIPaymentRequest.00.04.00\">\n"
            "  <GrpHdr>\n    <Vuoto/>\n"
            "    <Ustrd>a\tb\nc&#13;d \xF0\x9F\x98\x80</Ustrd>\n"
            "  </GrpHdr>\n</R>\n");
}

// Builds the same document kept whole or written while built: opened
// containers with and without children, one within another, and elements
// left out between the writes.
void Build(Documento& doc) {
  Element header = doc.NuovoElemento("GrpHdr");
  doc.AggiungiElemento(header, "MsgId", "M&1");
  doc.Aggiungi(doc.Radice(), std::move(header));
  for (int group = 0; group < 3; ++group) {
    Element info = doc.NuovoElemento("PmtInf");
    if (group != 1) doc.AggiungiElemento(info, "PmtInfId", "P");
    doc.Apri(doc.Radice(), info);
    for (int i = 0; i < (group == 1 ? 0 : group + 1); ++i) {
      Element left_out = doc.NuovoElemento("Scartato");
      doc.AggiungiElemento(left_out, "Cd", "X");
      Element record = doc.NuovoElemento("CdtTrfTxInf");
      doc.AggiungiImporto(record, "InstdAmt", i + 0.5, "EUR");
      Element remittance = doc.NuovoElemento("RmtInf");
      if (i == 1) {
        doc.Apri(info, record);
        doc.Aggiungi(record, std::move(remittance));
        doc.Chiudi(record);
      } else {
        doc.Aggiungi(record, std::move(remittance));
        doc.Aggiungi(info, std::move(record));
      }
    }
    doc.Chiudi(info);
  }
}

TEST(XmlBuilderTest, WritesWhileBuiltWhatItWouldKeepWhole) {
  Documento whole("R", kNs);
  Build(whole);
  std::string written;
  Documento streamed("R", kNs);
  streamed.ScriviDurante([&](std::string_view bytes) {
    written.append(bytes);
    return true;
  });
  Build(streamed);
  EXPECT_TRUE(streamed.Termina());
  EXPECT_EQ(written, Dump(whole.Completa()));
  EXPECT_NE(written.find("<PmtInf/>"), std::string::npos);
}

// Elements are appended to and closed in the innermost open element only,
// so that both ways build the same file.
TEST(XmlBuilderTest, RefusesToWriteOutOfOrder) {
  for (const bool streamed : {false, true}) {
    Documento doc("R", kNs);
    if (streamed) doc.ScriviDurante([](std::string_view) { return true; });
    Element outer = doc.NuovoElemento("PmtInf");
    doc.Apri(doc.Radice(), outer);
    Element inner = doc.NuovoElemento("CdtTrfTxInf");
    doc.Apri(outer, inner);
    EXPECT_THROW(doc.Aggiungi(doc.Radice(), doc.NuovoElemento("A")),
                 std::logic_error);
    EXPECT_THROW(doc.Chiudi(outer), std::logic_error);
    doc.Chiudi(inner);
    doc.Chiudi(outer);
    EXPECT_THROW(doc.Chiudi(doc.Radice()), std::logic_error);
  }
}

TEST(XmlBuilderTest, RefusesTextThatXmlCannotCarry) {
  const std::pair<std::string, std::string> cases[] = {
      {"Rossi\x01", "U+0001"},             // control character, named
      {std::string("a\0b", 3), "\"Nm\""},  // NUL
      {"\xEF\xBF\xBE", "\"Nm\""},          // U+FFFE
      {"Caff\xE8", "\"Nm\""},              // Latin-1, not UTF-8
      {"\xC3", "\"Nm\""},                  // truncated sequence
      {"\xC0\xAF", "\"Nm\""},              // overlong
      {"\xED\xA0\x80", "\"Nm\""},          // surrogate
  };
  for (const auto& [text, fragment] : cases) {
    Documento doc("R", kNs);
    try {
      doc.AggiungiElemento(doc.Radice(), "Nm", text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), codes::kInvalidXmlText) << text;
      EXPECT_NE(error.Description().find(fragment), std::string::npos)
          << error.Description();
    }
  }
  Documento doc("R", kNs);
  EXPECT_THROW(doc.AggiungiImporto(doc.Radice(), "InstdAmt", 1, "EU\x02"),
               Error);
}

}  // namespace
}  // namespace zsepa::xml
