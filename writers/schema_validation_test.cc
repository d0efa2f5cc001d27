#include "writers/schema_validation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "zsepa/error.h"

namespace zsepa {
namespace {

namespace fs = std::filesystem;

TEST(SchemaValidationTest, ReportsEveryProblemWithItsLineOrRaises) {
  char pattern[] = "/tmp/zsepa_schema_XXXXXX";
  const fs::path dir = ::mkdtemp(pattern);
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  };
  // The main schema imports the other by a relative path: loading it by its
  // own path must find the import beside it.
  write("types.xsd",
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
        "targetNamespace=\"urn:t\" elementFormDefault=\"qualified\">\n"
        "<xs:simpleType name=\"Code\"><xs:restriction base=\"xs:string\">"
        "<xs:pattern value=\"[A-Z]{4}\"/></xs:restriction></xs:simpleType>\n"
        "</xs:schema>\n");
  const std::string xsd =
      write("main.xsd",
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:t=\"urn:t\" targetNamespace=\"urn:m\" "
            "elementFormDefault=\"qualified\">\n"
            "<xs:import namespace=\"urn:t\" schemaLocation=\"types.xsd\"/>\n"
            "<xs:element name=\"Doc\"><xs:complexType><xs:sequence>\n"
            "<xs:element name=\"Cd\" type=\"t:Code\" maxOccurs=\"2\"/>\n"
            "</xs:sequence></xs:complexType></xs:element>\n"
            "</xs:schema>\n");
  const std::string ok =
      write("ok.xml", "<Doc xmlns=\"urn:m\"><Cd>SEPA</Cd></Doc>");
  EXPECT_TRUE(ValidateAgainstSchema(ok, xsd).empty());
  EXPECT_EQ(RootNamespace(ok), "urn:m");
  EXPECT_EQ(RootNamespace(write("plain.xml", "<Doc/>")), "");

  const auto issues = ValidateAgainstSchema(
      write("bad.xml",
            "<Doc xmlns=\"urn:m\">\n<Cd>sepa</Cd>\n<Cd>URGP</Cd>\n"
            "<Cd>SDVA</Cd>\n</Doc>\n"),
      xsd);
  ASSERT_EQ(issues.size(), 2u);
  EXPECT_EQ(issues[0].line, 2);
  EXPECT_NE(issues[0].message.find("sepa"), std::string::npos);
  EXPECT_EQ(issues[1].line, 4);
  const auto parse = ValidateAgainstSchema(
      write("broken.xml", "<Doc xmlns=\"urn:m\">\n<Cd>\n"), xsd);
  ASSERT_FALSE(parse.empty());
  EXPECT_GT(parse[0].line, 0);

  const std::string missing = (dir / "missing").string();
  EXPECT_THROW(ValidateAgainstSchema(ok, missing), Error);
  EXPECT_THROW(ValidateAgainstSchema(missing, xsd), Error);
  EXPECT_THROW(
      ValidateAgainstSchema(
          ok,
          write("broken.xsd",
                "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                "<xs:element name=\"A\" type=\"xs:nothing\"/></xs:schema>")),
      Error);
  EXPECT_THROW(RootNamespace(missing), Error);
  EXPECT_THROW(RootNamespace(write("empty.xml", "")), Error);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zsepa
