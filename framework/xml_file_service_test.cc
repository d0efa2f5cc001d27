#include "framework/xml_file_service.h"

#include <gtest/gtest.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "model/error.h"

namespace zsepa::framework {
namespace {

namespace fs = std::filesystem;

constexpr char kSaved[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<CBIPaymentRequest xmlns=\"urn:CBI:xsd:CBIPaymentRequest.00.04.00\">\n"
    "  <GrpHdr>\n"
    "    <Nm>Rossi &amp; Figli &lt;srl&gt;</Nm>\n"
    "    <Ctry>Societ\xC3\xA0</Ctry>\n"
    "    <Amt Ccy=\"EUR\">1.00</Amt>\n"
    "  </GrpHdr>\n"
    "</CBIPaymentRequest>\n";

class XmlFileServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "zsepa_xml_XXXXXX");
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ / name; }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.insert(entry.path().filename());
    }
    return names;
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
  }
  // The unindented tree of kSaved: a namespace and text that needs escaping.
  static void Fill(XmlDocument& doc) {
    static const std::string kTree =
        "<CBIPaymentRequest xmlns=\"urn:CBI:xsd:CBIPaymentRequest.00.04.00\">"
        "<GrpHdr><Nm>Rossi &amp; Figli &lt;srl&gt;</Nm><Ctry>Societ\xC3\xA0"
        "</Ctry><Amt Ccy=\"EUR\">1.00</Amt></GrpHdr></CBIPaymentRequest>";
    doc.reset(xmlReadMemory(kTree.data(), kTree.size(), nullptr, nullptr, 0));
  }

  fs::path dir_;
};

// Fails the n-th file-system call of a save (1: MakeTemp, 2: Write,
// 3: Sync, 4: Close, 5: Rename) with EIO; writes at most `chunk` bytes.
class FailingOps : public FileOps {
 public:
  FailingOps(int fail_at, size_t chunk) : fail_at_(fail_at), chunk_(chunk) {}
  int MakeTemp(std::string& t) override {
    return Fail() ? -1 : FileOps::MakeTemp(t);
  }
  long Write(int fd, const void* data, size_t size) override {
    return Fail() ? -1 : FileOps::Write(fd, data, std::min(size, chunk_));
  }
  int Sync(int fd) override { return Fail() ? -1 : FileOps::Sync(fd); }
  int Close(int fd) override {
    // Like Linux, a failed close still releases the descriptor.
    const bool fail = Fail();
    const int result = FileOps::Close(fd);
    if (!fail) return result;
    errno = EIO;
    return -1;
  }
  int Rename(const std::string& from, const std::string& to) override {
    return Fail() ? -1 : FileOps::Rename(from, to);
  }

 private:
  bool Fail() {
    if (++calls_ != fail_at_) return false;
    errno = EIO;
    return true;
  }
  int fail_at_;
  size_t chunk_;
  int calls_ = 0;
};

// A save writes kSaved whole (also in short writes of 7 bytes); a failed one
// raises, leaves the folder as it was and releases every descriptor.
TEST_F(XmlFileServiceTest, SavesAtomically) {
  auto open_descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), {});
  };
  const auto descriptors = open_descriptors();
  XmlDocument doc, empty;
  Fill(doc);
  const char kEio[] = "Input/output error";
  const std::tuple<const char*, int, size_t, const XmlDocument*, const char*,
                   const char*>
      cases[] = {
          {"whole", 0, size_t{1} << 20, &doc, "out.xml", nullptr},
          {"short writes", 0, 7, &doc, "out.xml", nullptr},
          {"MakeTemp", 1, 64, &doc, "out.xml", kEio},
          {"Write", 2, 64, &doc, "out.xml", kEio},
          {"Sync", 3, 64, &doc, "out.xml", kEio},
          {"Close", 4, 64, &doc, "out.xml", kEio},
          {"Rename", 5, 64, &doc, "out.xml", kEio},
          {"no root", 0, 64, &empty, "out.xml",
           "il documento non ha un elemento radice"},
          {"missing folder", 0, 64, &doc, "missing/out.xml",
           "No such file or directory"},
      };
  for (const auto& [name, fail_at, chunk, document, file, why] : cases) {
    for (bool existing : {false, true}) {
      const std::string input = name + std::string(existing ? " over" : "");
      fs::remove(Path("out.xml"));
      if (existing) Write("out.xml", "vecchio");
      const std::string target = Path(file);
      try {
        DefaultXmlFileService(std::make_shared<FailingOps>(fail_at, chunk))
            .Save(*document, target);
        EXPECT_EQ(why, nullptr) << "no error: " << input;
      } catch (const Error& error) {
        EXPECT_EQ(
            std::make_tuple(error.Code(), error.Source(), error.Description()),
            std::make_tuple(codes::kSaveFailed, "ServizioFileXml.Save",
                            "Impossibile salvare il file '" + target +
                                "': " + (why ? why : "")))
            << input;
      }
      EXPECT_EQ(Names(), existing || !why ? std::set<std::string>{"out.xml"}
                                          : std::set<std::string>{})
          << input;
      EXPECT_EQ(existing || !why ? Read(Path("out.xml")) : "",
                why ? (existing ? "vecchio" : "") : kSaved)
          << input;
    }
  }
  EXPECT_EQ(open_descriptors(), descriptors);
}

TEST_F(XmlFileServiceTest, ReportsFirstErrorOfBadFiles) {
  struct Case {
    const char* input;
    const char* content;  // nullptr: no such file
    int32_t code;         // 0: any libxml2 code
    int32_t line;
    const char* source;
  } cases[] = {
      {"missing file", nullptr, codes::kLoadFileUnreadable, 0, ""},
      {"empty file", "", 0, 1, ""},
      {"second root", "<a/>\n<b/>\n", 0, 2, "<b/>"},
      {"invalid UTF-8", "<a>\r\n<b>\xC3(</b>\r\n</a>", 0, 2,
       "<b>\xEF\xBF\xBD(</b>"},
      {"entity of an unread DTD", "<!DOCTYPE r SYSTEM \"x.dtd\">\n<r>&u;</r>",
       0, 2, "<r>&u;</r>"},
      {"truncated", "<a>\n<b>testo", 0, 2, "<b>testo"},
      {"undeclared prefix", "<a>\n<x:b/></a>", 0, 2, "<x:b/></a>"},
      {"two errors", "<r>\n <a/>\n <a>&bad;</a>\n <b></c>\n</r>", 0, 3,
       " <a>&bad;</a>"},
      {"too large", "<a>oltre il limite</a>", codes::kLoadFileTooLarge, 0, ""},
  };
  for (const Case& c : cases) {
    std::string path = Path("in.xml");
    fs::remove(path);
    if (c.content != nullptr) Write("in.xml", c.content);
    XmlDocument doc;
    Fill(doc);  // a tree held before must go
    // A 16-byte limit for the too-large file, which is the only longer one.
    DefaultXmlFileService(nullptr,
                          c.code == codes::kLoadFileTooLarge ? 16 : 1024)
        .Load(doc, path);
    const ParseError& error = doc.parseError();
    EXPECT_EQ(doc.get(), nullptr) << c.input;
    EXPECT_NE(error.errorCode, 0) << c.input;
    EXPECT_EQ(c.code ? error.errorCode : 0, c.code) << c.input;
    EXPECT_FALSE(error.reason.empty()) << c.input;
    EXPECT_NE(error.reason.back(), '\n') << c.input;
    EXPECT_EQ(error.url, path) << c.input;
    EXPECT_EQ(error.line, c.line) << c.input << ": " << error.reason;
    EXPECT_EQ(error.srcText, c.source) << c.input;
  }
}

// No external entity is read, and libxml2's global handler, last error and
// indentation are left as the host set them.
TEST_F(XmlFileServiceTest, LoadsWithoutEntitiesOrSideEffects) {
  Write("secret.txt", "SEGRETO");
  Write("in.xml",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"secret.txt\">]>\n<r>&x;</r>\n");
  XmlDocument saved;
  Fill(saved);
  auto sentinel = [](void*, xmlErrorPtr) { ADD_FAILURE() << "global handler"; };
  xmlSetStructuredErrorFunc(nullptr, sentinel);
  xmlResetLastError();
  const char* indent = "\t";
  xmlTreeIndentString = indent;

  XmlDocument doc, bad;
  DefaultXmlFileService service;
  service.Load(doc, Path("in.xml"));
  ASSERT_EQ(doc.parseError().errorCode, 0) << doc.parseError().reason;
  service.Save(doc, Path("in.xml"));
  EXPECT_EQ(Read(Path("in.xml")).find("SEGRETO"), std::string::npos);
  service.Load(bad, Path("secret.txt"));
  EXPECT_NE(bad.parseError().errorCode, 0);
  service.Save(saved, Path("out.xml"));
  service.Load(doc, Path("out.xml"));  // a loaded file saves back the same
  service.Save(doc, Path("out.xml"));
  EXPECT_EQ(Read(Path("out.xml")), kSaved);

  EXPECT_EQ(xmlStructuredError, sentinel);
  EXPECT_EQ(xmlGetLastError(), nullptr);
  EXPECT_EQ(xmlTreeIndentString, indent);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  xmlTreeIndentString = "  ";
}

}  // namespace
}  // namespace zsepa::framework
