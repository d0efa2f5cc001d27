#include "framework/xml_serialiser.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/compact_tree.h"

namespace zsepa::framework {
namespace {

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

Doc Parse(const std::string& xml) {
  return Doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr,
                           nullptr, 0));
}

// What libxml2's own serialiser writes with indentation on and its default
// settings.
std::string DumpedByLibxml2(xmlDoc* doc) {
  xmlChar* buffer = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc, &buffer, &size, "UTF-8", 1);
  std::string text(reinterpret_cast<char*>(buffer), static_cast<size_t>(size));
  xmlFree(buffer);
  return text;
}

std::string Serialised(const xmlDoc& doc) {
  std::string text;
  EXPECT_TRUE(SerialiseXml(doc, [&](std::string_view piece) {
    EXPECT_LE(piece.size(), kSerialiserPieceSize);
    text.append(piece);
    return true;
  }));
  return text;
}

// `count` elements nested in one another, the innermost holding `text`.
std::string Nested(int count, const std::string& text) {
  std::string open, close;
  for (int i = 0; i < count; ++i) {
    open += "<L" + std::to_string(i) + ">";
    close = "</L" + std::to_string(i) + ">" + close;
  }
  return open + text + close;
}

// Records with text and an attribute that need escaping, `count` of them, so
// that escapes fall across the serialiser's pieces.
std::string ManyRecords(int count) {
  std::string xml = "<Doc xmlns=\"urn:CBI:xsd:CBIPaymentRequest.00.04.00\">";
  for (int i = 0; i < count; ++i) {
    xml += "<Rec><Nm>R&amp;F &lt;" + std::to_string(i) +
           "&gt;</Nm><Amt Ccy=\"E&quot;R\">1.00</Amt><Vuoto/></Rec>";
  }
  return xml + "</Doc>";
}

// The saved form equals what libxml2's serialiser writes, for the characters
// and shapes that need care, so that the two cannot drift apart.
TEST(XmlSerialiserTest, WritesWhatLibxml2WritesWithIndentation) {
  const std::pair<const char*, std::string> cases[] = {
      {"elements only, empty elements, default namespace",
       "<R xmlns=\"urn:CBI:xsd:CBIPaymentRequest.00.04.00\"><A><B/><C>x</C>"
       "</A><D/></R>"},
      {"text escapes",
       "<R><T>a &amp; b &lt;c&gt; d&#13;e\tf\ng \"h\" 'i' ]]&gt;"
       " \xC3\xA0 \xF0\x9F\x98\x80</T><U>&#13;&#13;</U></R>"},
      {"attribute escapes",
       "<R><A Ccy=\"a&quot;b'c&amp;d&lt;e&gt;f&#9;g&#10;h&#13;i \xC3\xA0\" "
       "B=\"\" C='\"'/></R>"},
      {"element with text among elements is written as it is, to its end",
       "<R><M>t<E><F/><G>g</G></E>u</M><N><O/></N></R>"},
      {"blank text between elements (a loaded, indented file)",
       "<R>\n  <A>\n    <B/>\n  </A>\n</R>"},
      {"prefixes and several namespace declarations",
       "<p:R xmlns:p=\"urn:p\" xmlns=\"urn:d\" xmlns:q=\"urn:q\"><A q:b=\"1\" "
       "c=\"2\"/><p:B><q:C/></p:B></p:R>"},
      {"comments, processing instructions, CDATA",
       "<!--before--><?pi data?><R><!--c--><?p?><A><![CDATA[x]]]]><![CDATA[>y"
       "]]></A><B><![CDATA[]]></B></R><!--after-->"},
      {"entity references and a document type",
       "<!DOCTYPE R [<!ENTITY e \"v\"><!ELEMENT R ANY>]><R a=\"&e;\"><A>&e;"
       "</A></R>"},
      {"deeper than the indentation goes", "<R>" + Nested(34, "") + "</R>"},
      {"text deep down", Nested(33, "t")},
      {"larger than one piece", ManyRecords(1500)},
  };
  for (const auto& [name, xml] : cases) {
    const Doc doc = Parse(xml);
    ASSERT_NE(doc, nullptr) << name;
    EXPECT_EQ(Serialised(*doc), DumpedByLibxml2(doc.get())) << name;
  }
}

// The output's first refusal ends the serialisation.
TEST(XmlSerialiserTest, StopsWhenTheOutputRefuses) {
  const Doc doc = Parse(ManyRecords(3000));
  int calls = 0;
  EXPECT_FALSE(SerialiseXml(*doc, [&](std::string_view) {
    ++calls;
    return false;
  }));
  EXPECT_EQ(calls, 1);
}

// A random built tree: elements nested past the indentation limit, leaves
// with hostile texts and attribute values, empty elements.
void Grow(CompactTree& tree, CompactTree::Node& parent, int depth,
          std::mt19937& random) {
  static const char* const kTags[] = {"A", "Nm", "InstdAmt", "PstlAdr"};
  static const std::string_view kPieces[] = {"a",
                                             "&",
                                             "<",
                                             ">",
                                             "\r",
                                             "\n",
                                             "\t",
                                             "\"",
                                             "'",
                                             "]]>",
                                             " ",
                                             "\xC3\xA0",
                                             "\xF0\x9F\x98\x80",
                                             "&amp;",
                                             "&#13;"};
  auto text = [&](size_t max_pieces) {
    std::string result;
    for (size_t n = random() % (max_pieces + 1); n > 0; --n) {
      result += kPieces[random() % std::size(kPieces)];
    }
    return result;
  };
  CompactTree::Node* last = nullptr;
  for (int n = static_cast<int>(random() % 5); n > 0; --n) {
    const char* tag = kTags[random() % std::size(kTags)];
    const unsigned kind = random() % 8;
    CompactTree::Node* child = nullptr;
    if (kind < 4 || depth > 36) {
      child = tree.NewLeaf(tag, text(kind == 0 ? 9000 : 6),
                           kind == 1 ? "Ccy" : nullptr, text(4));
    } else {
      child = tree.NewElement(tag);
      Grow(tree, *child, depth + 1, random);
    }
    (last != nullptr ? last->next : parent.first) = child;
    last = child;
  }
}

// The compact tree is written byte for byte as libxml2 writes the same
// tree, whatever its texts hold.
TEST(XmlSerialiserTest, WritesCompactTreesAsLibxml2WritesTheirTree) {
  std::mt19937 random(15);
  for (int round = 0; round < 60; ++round) {
    CompactTree tree("urn:CBI:xsd:CBIPaymentRequest.00.04.00");
    auto* root = tree.NewElement("CBIPaymentRequest");
    Grow(tree, *root, 0, random);
    tree.SetRoot(root);
    const Doc libxml2_tree(tree.ToLibxml2());
    std::string compact;
    ASSERT_TRUE(SerialiseXml(tree, [&](std::string_view piece) {
      compact.append(piece);
      return true;
    }));
    ASSERT_EQ(compact, DumpedByLibxml2(libxml2_tree.get())) << round;
  }
}

// Writes `node` through `out` as a builder that writes while it builds
// would: at random, whole or opened, with some of its children present when
// it is opened and the others appended (whole or opened) afterwards.
void Stream(StreamSerialiser& out, CompactTree::Node& node,
            const std::string& namespace_uri, bool is_root,
            std::mt19937& random) {
  if (!is_root && (CompactTree::IsLeaf(node) || random() % 3 == 0)) {
    out.Append(node);
    return;
  }
  std::vector<CompactTree::Node*> children;
  for (CompactTree::Node* child = CompactTree::FirstChild(node);
       child != nullptr; child = child->next) {
    children.push_back(child);
  }
  const size_t present = random() % (children.size() + 1);
  // The node as it stands when opened: the rest of its children cut off.
  CompactTree::Node opened = node;
  if (present == 0) opened.first = nullptr;
  CompactTree::Node* const last_present =
      present > 0 ? children[present - 1] : nullptr;
  CompactTree::Node* const rest =
      last_present != nullptr ? std::exchange(last_present->next, nullptr)
                              : nullptr;
  out.Open(opened, namespace_uri);
  if (last_present != nullptr) last_present->next = rest;
  for (size_t i = present; i < children.size(); ++i) {
    Stream(out, *children[i], namespace_uri, false, random);
  }
  out.Close();
}

// Written while it is built, a document has the bytes of the finished tree,
// and the output stops for good where it is refused.
TEST(XmlSerialiserTest, WritesADocumentWhileItIsBuiltAsTheFinishedTree) {
  std::mt19937 random(26);
  for (int round = 0; round < 80; ++round) {
    CompactTree tree("urn:CBI:xsd:CBIPaymentRequest.00.04.00");
    auto* root = tree.NewElement("CBIPaymentRequest");
    if (round > 0) Grow(tree, *root, 0, random);
    tree.SetRoot(root);
    std::string whole;
    ASSERT_TRUE(SerialiseXml(tree, [&](std::string_view piece) {
      whole.append(piece);
      return true;
    }));
    const size_t refuse_after = round % 4 == 3 ? whole.size() / 2 : SIZE_MAX;
    std::string streamed;
    bool refused = false;
    StreamSerialiser out([&](std::string_view piece) {
      EXPECT_LE(piece.size(), kSerialiserPieceSize);
      EXPECT_FALSE(refused) << "output after a refusal";
      refused = streamed.size() + piece.size() > refuse_after;
      if (refused) return false;
      streamed.append(piece);
      return true;
    });
    Stream(out, *root, tree.namespace_uri(), true, random);
    if (refuse_after == SIZE_MAX) {
      ASSERT_TRUE(out.Flush());
      ASSERT_EQ(streamed, whole) << round;
    } else {
      EXPECT_FALSE(out.Flush());
      EXPECT_FALSE(out.Flush());
      EXPECT_EQ(whole.substr(0, streamed.size()), streamed) << round;
    }
  }
}

// Memory given back by Release is reused, and what was made before the mark
// stays intact.
TEST(CompactTreeTest, ReleaseReusesTheArenaAfterTheMark) {
  CompactTree tree("urn:x");
  CompactTree::Node* kept = tree.NewLeaf("Kept", std::string(100, 'k'));
  const CompactTree::Mark mark = tree.Position();
  const CompactTree::Node* first = nullptr;
  for (int round = 0; round < 3; ++round) {
    // Enough to fill several blocks, and one text large enough for a block
    // of its own.
    const CompactTree::Node* made = tree.NewLeaf("A", "x");
    for (int i = 0; i < 2000; ++i) tree.NewLeaf("B", std::string(60, 'b'));
    tree.NewLeaf("C", std::string(3u << 20, 'c'));
    if (round == 0) first = made;
    EXPECT_EQ(made, first) << round;
    tree.Release(mark);
  }
  EXPECT_EQ(CompactTree::ContentOf(*kept).text, std::string(100, 'k'));
}

}  // namespace
}  // namespace zsepa::framework
