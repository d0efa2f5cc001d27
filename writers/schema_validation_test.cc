#include "writers/schema_validation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "model/error.h"

namespace zsepa {
namespace {

namespace fs = std::filesystem;

class SchemaValidationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zsepa_schema_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    // The main schema imports the other by a relative path: loading it by
    // its own path must find the import beside it.
    Write("types.xsd",
          "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
          "targetNamespace=\"urn:t\" elementFormDefault=\"qualified\">\n"
          "<xs:simpleType name=\"Code\"><xs:restriction base=\"xs:string\">"
          "<xs:pattern value=\"[A-Z]{4}\"/></xs:restriction></xs:simpleType>\n"
          "</xs:schema>\n");
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

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  std::string Path(const std::string& name) { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(SchemaValidationTest, ValidFileHasNoIssues) {
  const std::string xml = Write(
      "ok.xml",
      "<?xml version=\"1.0\"?>\n<Doc xmlns=\"urn:m\"><Cd>SEPA</Cd></Doc>\n");
  EXPECT_TRUE(ValidateAgainstSchema(xml, Path("main.xsd")).empty());
  EXPECT_EQ(RootNamespace(xml), "urn:m");
}

TEST_F(SchemaValidationTest, ReportsEveryProblemWithItsLine) {
  const std::string xml = Write("bad.xml",
                                "<Doc "
                                "xmlns=\"urn:m\">\n<Cd>sepa</Cd>\n<Cd>URGP</"
                                "Cd>\n<Cd>SDVA</Cd>\n</Doc>\n");
  const auto issues = ValidateAgainstSchema(xml, Path("main.xsd"));
  ASSERT_EQ(issues.size(), 2u);
  EXPECT_EQ(issues[0].line, 2);
  EXPECT_NE(issues[0].message.find("sepa"), std::string::npos)
      << issues[0].message;
  EXPECT_EQ(issues[1].line, 4);
}

TEST_F(SchemaValidationTest, MalformedFileGivesParseIssues) {
  const std::string xml = Write("broken.xml", "<Doc xmlns=\"urn:m\">\n<Cd>\n");
  const auto issues = ValidateAgainstSchema(xml, Path("main.xsd"));
  ASSERT_FALSE(issues.empty());
  EXPECT_GT(issues[0].line, 0);
}

TEST_F(SchemaValidationTest, RaisesForUnreadableFilesAndBrokenSchemas) {
  const std::string xml = Write("ok.xml", "<Doc xmlns=\"urn:m\"/>");
  EXPECT_THROW(ValidateAgainstSchema(xml, Path("missing.xsd")), Error);
  EXPECT_THROW(ValidateAgainstSchema(Path("missing.xml"), Path("main.xsd")),
               Error);
  const std::string broken =
      Write("broken.xsd",
            "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
            "<xs:element name=\"A\" type=\"xs:nothing\"/></xs:schema>");
  EXPECT_THROW(ValidateAgainstSchema(xml, broken), Error);
  EXPECT_THROW(RootNamespace(Path("missing.xml")), Error);
  EXPECT_THROW(RootNamespace(Write("empty.xml", "")), Error);
}

TEST_F(SchemaValidationTest, RootWithoutNamespace) {
  EXPECT_EQ(RootNamespace(Write("plain.xml", "<Doc/>")), "");
}

}  // namespace
}  // namespace zsepa
