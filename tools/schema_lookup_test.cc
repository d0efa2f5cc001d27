#include "tools/schema_lookup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/testing/temp_dir.h"
#include "tools/testing/fifo.h"

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

// What is not a regular file is no schema, and is never waited for: a named
// pipe or a folder called *.xsd, a device.
TEST(SchemaLookupTest, SkipsWhatIsNotARegularFile) {
  const zsepa::testing::TempDir temp;
  const std::string ns = "urn:CBI:xsd:CBIPaymentRequest.00.04.00";
  testing::MakeFifo(temp.File("A.xsd"));
  fs::create_directory(temp.path() / "B.xsd");
  std::ofstream(temp.path() / "C.xsd")
      << "<xs:schema targetNamespace=\"" << ns << "\">";
  const std::string fifo = temp.File("A.xsd");
  const struct {
    std::string path;
    std::string ns;
  } files[] = {
      {fifo, ""},
      {temp.File("B.xsd"), ""},
      {"/dev/zero", ""},
      {temp.File("C.xsd"), ns},
  };
  for (const auto& file : files) {
    testing::ExpectNoWaitOn(fifo, [&] {
      EXPECT_EQ(TargetNamespaceOf(file.path), file.ns) << file.path;
    });
  }
  testing::ExpectNoWaitOn(fifo, [&] {
    EXPECT_EQ(FindSchemaFor(temp.path().string(), ns), temp.File("C.xsd"));
  });
}

}  // namespace
}  // namespace zsepa::cli
