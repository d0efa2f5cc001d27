#include "tools/schema_lookup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/testing/temp_dir.h"

namespace zsepa::cli {
namespace {

namespace fs = std::filesystem;

TEST(SchemaLookupTest, ReadsTheRootTagAndPrefersTheFileNamedAfterIt) {
  const zsepa::testing::TempDir temp;
  const fs::path& dir = temp.path();
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  };
  const std::pair<std::string, std::string> roots[] = {
      {"<?xml version=\"1.0\"?>\n<!-- targetNamespace=\"urn:comment\" -->\n"
       "<xs:schema xmlns:xs=\"x\"\n  targetNamespace = 'urn:a:B.01'>",
       "urn:a:B.01"},
      {"<schema mytargetNamespace=\"urn:no\"><e targetNamespace=\"urn:c\"/>",
       ""},
  };
  for (const auto& [text, ns] : roots) {
    EXPECT_EQ(TargetNamespaceOf(write("s.xsd", text)), ns) << text;
  }

  const std::string ns = "urn:CBI:xsd:CBIPaymentRequest.00.04.00";
  const std::string other =
      write("a_other.xsd", "<xs:schema targetNamespace=\"" + ns + "\">");
  const std::string named = write("CBIPaymentRequest.00.04.00.xsd",
                                  "<xs:schema targetNamespace=\"" + ns + "\">");
  write("CBIPaymentRequest.00.04.01.xsd",
        "<xs:schema targetNamespace=\"urn:CBI:xsd:other\">");
  EXPECT_EQ(FindSchemaFor(dir.string(), ns), named);
  fs::remove(named);
  EXPECT_EQ(FindSchemaFor(dir.string(), ns), other);
  EXPECT_EQ(FindSchemaFor(dir.string(), "urn:none"), std::nullopt);
  EXPECT_EQ(FindSchemaFor((dir / "missing").string(), ns), std::nullopt);
}

}  // namespace
}  // namespace zsepa::cli
