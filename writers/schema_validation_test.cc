#include "writers/schema_validation.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

#include "zsepa/error.h"

namespace zsepa {
namespace {

namespace fs = std::filesystem;

class SchemaValidationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zsepa_schema_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // The main schema imports the other by a relative path: loading it by
    // its own path must find the import beside it.
    Write("types.xsd",
          "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
          "targetNamespace=\"urn:t\" elementFormDefault=\"qualified\">\n"
          "<xs:simpleType name=\"Code\"><xs:restriction base=\"xs:string\">"
          "<xs:pattern value=\"[A-Z]{4}\"/></xs:restriction></xs:simpleType>\n"
          "</xs:schema>\n");
    xsd_ =
        Write("main.xsd",
              "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
              "xmlns:t=\"urn:t\" targetNamespace=\"urn:m\" "
              "elementFormDefault=\"qualified\">\n"
              "<xs:import namespace=\"urn:t\" schemaLocation=\"types.xsd\"/>\n"
              "<xs:element name=\"Doc\"><xs:complexType><xs:sequence>\n"
              "<xs:element name=\"Cd\" type=\"t:Code\" maxOccurs=\"2\"/>\n"
              "</xs:sequence></xs:complexType></xs:element>\n"
              "</xs:schema>\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }

  fs::path dir_;
  std::string xsd_;
};

TEST_F(SchemaValidationTest, ReportsEveryProblemWithItsLineOrRaises) {
  const std::string ok =
      Write("ok.xml", "<Doc xmlns=\"urn:m\"><Cd>SEPA</Cd></Doc>");
  EXPECT_TRUE(ValidateAgainstSchema(ok, xsd_).empty());
  EXPECT_EQ(RootNamespace(ok), "urn:m");
  EXPECT_EQ(RootNamespace(Write("plain.xml", "<Doc/>")), "");

  const auto issues = ValidateAgainstSchema(
      Write("bad.xml",
            "<Doc xmlns=\"urn:m\">\n<Cd>sepa</Cd>\n<Cd>URGP</Cd>\n"
            "<Cd>SDVA</Cd>\n</Doc>\n"),
      xsd_);
  ASSERT_EQ(issues.size(), 2u);
  EXPECT_EQ(issues[0].line, 2);
  EXPECT_NE(issues[0].message.find("sepa"), std::string::npos);
  EXPECT_EQ(issues[1].line, 4);
  const auto parse = ValidateAgainstSchema(
      Write("broken.xml", "<Doc xmlns=\"urn:m\">\n<Cd>\n"), xsd_);
  ASSERT_FALSE(parse.empty());
  EXPECT_GT(parse[0].line, 0);

  const std::string missing = (dir_ / "missing").string();
  EXPECT_THROW(ValidateAgainstSchema(ok, missing), Error);
  EXPECT_THROW(ValidateAgainstSchema(missing, xsd_), Error);
  EXPECT_THROW(
      ValidateAgainstSchema(
          ok,
          Write("broken.xsd",
                "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                "<xs:element name=\"A\" type=\"xs:nothing\"/></xs:schema>")),
      Error);
  EXPECT_THROW(RootNamespace(missing), Error);
  EXPECT_THROW(RootNamespace(Write("empty.xml", "")), Error);
}

// Errors libxml2 reported to the thread's handler while validating.
int host_handler_calls = 0;

// Every problem reaches the caller through the validation's own handlers,
// with its line, also when libxml2 meets it in a document it reads itself (a
// schema that is not well-formed); the handler the host gave libxml2 sees
// none of them and stays installed.
TEST_F(SchemaValidationTest, ReportsThroughItsOwnHandlersOnly) {
  const std::string ok =
      Write("ok.xml", "<Doc xmlns=\"urn:m\"><Cd>SEPA</Cd></Doc>");
  const std::string malformed_xsd =
      Write("malformed.xsd",
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
            "<xs:element name=\"A\">\n</xs:schema>\n");
  // A generic lambda converts to the handler type of every libxml2 version.
  xmlSetStructuredErrorFunc(nullptr, [](void*, auto) { ++host_handler_calls; });
  host_handler_calls = 0;
  // What is checked, and the fragment of the first problem's description
  // that gives its line.
  const std::pair<std::function<std::string()>, std::string> cases[] = {
      {[&] {
         return ValidateAgainstSchema(
                    Write("invalid.xml",
                          "<Doc xmlns=\"urn:m\">\n<Cd>sepa</Cd></Doc>"),
                    xsd_)
             .front()
             .message;
       },
       "sepa"},
      {[&] {
         const auto issues = ValidateAgainstSchema(
             Write("broken.xml", "<Doc xmlns=\"urn:m\">\n<Cd>\n"), xsd_);
         return "riga " + std::to_string(issues.front().line);
       },
       "riga 3"},
      {[&] {
         ValidateAgainstSchema(ok, malformed_xsd);
         return std::string("accepted");
       },
       "riga 3: "},
      {[&] { return RootNamespace(Write("empty.xml", "")); }, "riga 1: "},
  };
  for (const auto& [check, fragment] : cases) {
    std::string text;
    try {
      text = check();
    } catch (const Error& error) {
      text = error.Description();
    }
    EXPECT_NE(text.find(fragment), std::string::npos) << text;
  }
  EXPECT_EQ(host_handler_calls, 0);
  xmlFreeDoc(xmlReadMemory("<a>", 3, nullptr, nullptr, 0));
  EXPECT_GT(host_handler_calls, 0);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
}

}  // namespace
}  // namespace zsepa
