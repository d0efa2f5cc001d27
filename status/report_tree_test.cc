#include "status/report_tree.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <memory>
#include <string>
#include <vector>

#include "zsepa/error.h"

namespace zsepa::status {
namespace {

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

// Parsed as the file service parses reports: no network, no substitution.
Doc Parse(const std::string& text) {
  return Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "r.xml",
                           nullptr, XML_PARSE_NONET));
}

// The selection the lookups stand for: the XPath name test on the name's
// ending, from the document ("//*") or from an element ("./*").
const xmlNode* XPathFirst(xmlDoc* doc, const xmlNode* context,
                          const std::string& name) {
  const std::string expression =
      std::string(context == nullptr ? "//*" : "./*") +
      "[substring(name(), string-length(name()) - " +
      std::to_string(static_cast<long>(name.size()) - 1) + ") = '" + name +
      "']";
  std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> ctxt(
      xmlXPathNewContext(doc), xmlXPathFreeContext);
  ctxt->node = const_cast<xmlNode*>(context);
  xmlSetStructuredErrorFunc(nullptr, [](void*, auto) {});
  std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
      xmlXPathEvalExpression(
          reinterpret_cast<const xmlChar*>(expression.c_str()), ctxt.get()),
      xmlXPathFreeObject);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  // A selection that fails finds nothing.
  if (!result || result->nodesetval == nullptr ||
      result->nodesetval->nodeNr == 0) {
    return nullptr;
  }
  return result->nodesetval->nodeTab[0];
}

std::vector<const xmlNode*> Elements(const xmlNode* node) {
  std::vector<const xmlNode*> all;
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    all.push_back(node);
    for (const xmlNode* child : Elements(node->children)) all.push_back(child);
  }
  return all;
}

// The native walk finds what the XPath selection finds, from the document and
// from every element, on prefixed, default-namespace and unprefixed reports.
TEST(ReportTreeTest, LookupsMatchTheXPathNameTest) {
  const char* documents[] = {
      "<CBISDDStsRptLogMsg><GrpHdr><MsgQual>8</MsgQual></GrpHdr>"
      "<OrgnlPmtInfAndSts><TxInfAndSts/><TxInfAndSts/></OrgnlPmtInfAndSts>"
      "</CBISDDStsRptLogMsg>",
      "<CBISDDStsRptLogMsg xmlns='urn:CBI:xsd:CBISDDStsRptLogMsg.00.01.00'>"
      "<GrpHdr><MsgQual>8</MsgQual></GrpHdr><XGrpHdr/></CBISDDStsRptLogMsg>",
      "<ns:CBISDDStsRptLogMsg xmlns:ns='urn:x'><ns:XGrpHdr/><ns:GrpHdr>"
      "<ns:MsgQual>6</ns:MsgQual></ns:GrpHdr><GrpHdr xmlns='urn:y'/>"
      "</ns:CBISDDStsRptLogMsg>",
      "<!-- lead --><Env xmlns:LMSG='urn:l'><LMSG:CBISDDStsRptLogMsg>"
      "<LMSG:GrpHdr/><s:GrpHdr "
      "xmlns:s='urn:s'/><Hdr/></LMSG:CBISDDStsRptLogMsg>"
      "<CBISDDReqLogMsg/></Env>",
  };
  const std::string names[] = {
      "GrpHdr",
      "s:GrpHdr",
      "ns:GrpHdr",
      "LMSG:GrpHdr",
      "MSG:GrpHdr",
      ":GrpHdr",
      "Hdr",
      "",
      "CBISDDStsRptLogMsg",
      "CBISDDReqLogMsg",
      "TxInfAndSts",
      "MsgQual",
      "x'y",
      "ns:XGrpHdr",
      "LongerThanAnyNameInTheseDocuments",
  };
  for (const char* text : documents) {
    Doc doc = Parse(text);
    ASSERT_TRUE(doc) << text;
    std::vector<const xmlNode*> contexts = {nullptr};
    for (const xmlNode* e : Elements(doc->children)) contexts.push_back(e);
    for (const std::string& name : names) {
      for (const xmlNode* context : contexts) {
        EXPECT_EQ(ChildElement(doc.get(), context, name),
                  XPathFirst(doc.get(), context, name))
            << text << "\nname '" << name << "' from "
            << (context ? reinterpret_cast<const char*>(context->name) : "doc");
      }
    }
  }
}

// Path, expected text of the element found ("-": none).
TEST(ReportTreeTest, PathsFollowEachPiece) {
  Doc doc = Parse(
      "<r><a><b>1</b><b><c>2</c></b></a><x:a xmlns:x='u'><c>3</c></x:a></r>");
  ASSERT_TRUE(doc);
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  const std::pair<const char*, const char*> cases[] = {
      {"a/b", "1"},  {"a/b/c", "-"}, {"a", "12"}, {"", "-"},
      {"a//c", "-"}, {"a//", "-"},   {"q", "-"},  {"a/", "1"},
  };
  for (const auto& [path, expected] : cases) {
    size_t budget = 100;
    const xmlNode* found = PathElement(doc.get(), root, path);
    EXPECT_EQ(found ? ElementText(found, budget) : "-", expected) << path;
  }
  // Without a start element the first piece is looked up in the whole
  // document.
  size_t budget = 100;
  EXPECT_EQ(ElementText(PathElement(doc.get(), nullptr, "x:a/c"), budget), "3");
}

// Report fragment, expected text of its root element.
TEST(ReportTreeTest, TextIsThatOfAllDescendants) {
  const std::pair<const char*, const char*> cases[] = {
      {"<Amt>\n  <InstdAmt Ccy='EUR'>2540.22</InstdAmt>\n</Amt>", "2540.22"},
      {"<Amt> 12.50 </Amt>", " 12.50 "},
      {"<a>x<b> </b>y<c>\t\r\n</c>z</a>", "xyz"},
      {"<a><![CDATA[ <1> ]]><b>2</b></a>", " <1> 2"},
      {"<a>&amp;&#65;<!-- c --><?pi x?>b</a>", "&Ab"},
      {"<!DOCTYPE a [<!ENTITY e 'in<b>ner</b>'>]><a>&e;!</a>", "inner!"},
      {"<!DOCTYPE a [<!ENTITY p SYSTEM 'file:///etc/hostname'>]><a>[&p;]</a>",
       "[]"},
  };
  for (const auto& [text, expected] : cases) {
    Doc doc = Parse(text);
    ASSERT_TRUE(doc) << text;
    size_t budget = 100;
    EXPECT_EQ(ElementText(xmlDocGetRootElement(doc.get()), budget), expected)
        << text;
  }
}

// Entities may add only so much text to one read; the references of the
// next read find the budget spent.
TEST(ReportTreeTest, EntityTextIsBounded) {
  Doc doc = Parse("<!DOCTYPE a [<!ENTITY e '0123456789'>]><a>&e;&e;&e;</a>");
  ASSERT_TRUE(doc);
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  size_t budget = 40;
  EXPECT_EQ(ElementText(root, budget), "012345678901234567890123456789");
  EXPECT_EQ(budget, 40u - 33u);
  try {
    ElementText(root, budget);
    ADD_FAILURE() << "no error beyond the budget";
  } catch (const Error& error) {
    EXPECT_EQ(error.Code(), codes::kLoadFileTooLarge);
  }
}

}  // namespace
}  // namespace zsepa::status
