#include "writers/xml_builder.h"

#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <string>

#include "model/error.h"

namespace zsepa::xml {
namespace {

constexpr char kNs[] = "urn:CBI:xsd:CBIPaymentRequest.00.04.00";

// The document as the file service writes it (declaration, two-space
// indentation).
std::string Dump(const framework::XmlDocument& doc) {
  xmlChar* buffer = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc.get(), &buffer, &size, "UTF-8", 1);
  std::string text(reinterpret_cast<char*>(buffer), static_cast<size_t>(size));
  xmlFree(buffer);
  return text;
}

TEST(XmlBuilderTest, BuildsBottomUpInTheRootNamespaceWithoutPrefixes) {
  Documento doc("CBIPaymentRequest", kNs);
  Element header = doc.NuovoElemento("GrpHdr");
  doc.AggiungiElemento(header, "MsgId", "000001520241");
  doc.AggiungiElemento(header, "Vuoto");
  doc.AggiungiElemento(header, "Nm", "Officine Rossi & Figli <srl> \"x\"");
  Element party = doc.NuovoElemento("Amt");
  doc.AggiungiImporto(party, "InstdAmt", 150.5, "EUR");
  doc.AggiungiImporto(party, "Amt", -7, "");
  doc.Aggiungi(header, std::move(party));
  doc.Aggiungi(doc.Radice(), std::move(header));
  Element left_out = doc.NuovoElemento("PmtTpInf");  // never attached
  doc.AggiungiElemento(left_out, "Cd", "SEPA");

  EXPECT_EQ(
      Dump(doc.Completa()),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<CBIPaymentRequest xmlns=\"urn:CBI:xsd:CBIPaymentRequest.00.04.00\">\n"
      "  <GrpHdr>\n"
      "    <MsgId>000001520241</MsgId>\n"
      "    <Vuoto/>\n"
      "    <Nm>Officine Rossi &amp; Figli &lt;srl&gt; \"x\"</Nm>\n"
      "    <Amt>\n"
      "      <InstdAmt Ccy=\"EUR\">150.50</InstdAmt>\n"
      "      <Amt Ccy=\"\">-7.00</Amt>\n"
      "    </Amt>\n"
      "  </GrpHdr>\n"
      "</CBIPaymentRequest>\n");
}

TEST(XmlBuilderTest, KeepsTabsLineBreaksAndNonAsciiText) {
  Documento doc("R", kNs);
  doc.AggiungiElemento(doc.Radice(), "Ustrd",
                       "a\tb\nc\rd \xC3\xA8 \xF0\x9F\x98\x80 \xEF\xBF\xBD");
  EXPECT_NE(Dump(doc.Completa())
                .find("<Ustrd>a\tb\nc&#13;d \xC3\xA8 \xF0\x9F\x98\x80 "
                      "\xEF\xBF\xBD</Ustrd>"),
            std::string::npos);
}

TEST(XmlBuilderTest, RefusesTextThatXmlCannotCarry) {
  const std::string cases[] = {
      std::string("Rossi\x01"),  // control character
      std::string("a\0b", 3),    // NUL
      "\x1F",                    // unit separator
      "\xEF\xBF\xBE",            // U+FFFE
      "\xEF\xBF\xBF",            // U+FFFF
      "Caff\xE8",                // Latin-1, not UTF-8
      "\xC3",                    // truncated sequence
      "\xC0\xAF",                // overlong
      "\xED\xA0\x80",            // surrogate
  };
  for (const std::string& text : cases) {
    Documento doc("R", kNs);
    Element parent = doc.NuovoElemento("Cdtr");
    try {
      doc.AggiungiElemento(parent, "Nm", text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), codes::kInvalidXmlText) << text;
      EXPECT_NE(error.Description().find("\"Nm\""), std::string::npos)
          << error.Description();
    }
  }
}

TEST(XmlBuilderTest, RefusesAnInvalidCurrency) {
  Documento doc("R", kNs);
  EXPECT_THROW(doc.AggiungiImporto(doc.Radice(), "InstdAmt", 1, "EU\x02"),
               Error);
}

TEST(XmlBuilderTest, NamesTheCharacterInTheMessage) {
  try {
    VerificaTestoXml("ab\x01", "Ustrd");
    FAIL();
  } catch (const Error& error) {
    EXPECT_NE(error.Description().find("U+0001"), std::string::npos)
        << error.Description();
  }
}

}  // namespace
}  // namespace zsepa::xml
