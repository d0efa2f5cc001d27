#include "tools/schema_lookup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace zsepa::cli {
namespace {

namespace fs = std::filesystem;

class SchemaLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zsepa_schema_lookup_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
  }
  fs::path dir_;
};

TEST_F(SchemaLookupTest, ReadsTheRootTagOnly) {
  const struct {
    std::string text;
    std::string ns;
  } cases[] = {
      {"<?xml version=\"1.0\"?>\n<!-- targetNamespace=\"urn:comment\" -->\n"
       "<xs:schema xmlns:xs=\"x\"\n  targetNamespace = 'urn:a:B.01'>",
       "urn:a:B.01"},
      {"<schema xmlns=\"x\" mytargetNamespace=\"urn:no\">"
       "<element targetNamespace=\"urn:child\"/>",
       ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    Write("s.xsd", c.text);
    EXPECT_EQ(TargetNamespaceOf((dir_ / "s.xsd").string()), c.ns) << c.text;
  }
}

TEST_F(SchemaLookupTest, PrefersTheFileNamedAfterTheNamespace) {
  const std::string ns = "urn:CBI:xsd:CBIPaymentRequest.00.04.00";
  Write("a_other.xsd", "<xs:schema targetNamespace=\"" + ns + "\">");
  Write("CBIPaymentRequest.00.04.00.xsd",
        "<xs:schema targetNamespace=\"" + ns + "\">");
  Write("CBIPaymentRequest.00.04.01.xsd",
        "<xs:schema targetNamespace=\"urn:CBI:xsd:other\">");
  EXPECT_EQ(FindSchemaFor(dir_.string(), ns),
            (dir_ / "CBIPaymentRequest.00.04.00.xsd").string());
  fs::remove(dir_ / "CBIPaymentRequest.00.04.00.xsd");
  EXPECT_EQ(FindSchemaFor(dir_.string(), ns), (dir_ / "a_other.xsd").string());
  EXPECT_EQ(FindSchemaFor(dir_.string(), "urn:none"), std::nullopt);
  EXPECT_EQ(FindSchemaFor((dir_ / "missing").string(), ns), std::nullopt);
}

}  // namespace
}  // namespace zsepa::cli
