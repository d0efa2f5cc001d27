#include "framework/xml_file_service.h"

#include <gtest/gtest.h>
#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

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
  // A namespaced document whose text needs escaping.
  static void Fill(XmlDocument& doc) {
    xmlDoc* tree = xmlNewDoc(BAD_CAST "1.0");
    doc.reset(tree);
    xmlNode* root =
        xmlNewDocNode(tree, nullptr, BAD_CAST "CBIPaymentRequest", nullptr);
    xmlDocSetRootElement(tree, root);
    xmlSetNs(root,
             xmlNewNs(root, BAD_CAST "urn:CBI:xsd:CBIPaymentRequest.00.04.00",
                      nullptr));
    xmlNode* header = xmlNewChild(root, root->ns, BAD_CAST "GrpHdr", nullptr);
    xmlNewTextChild(header, root->ns, BAD_CAST "Nm",
                    BAD_CAST "Rossi & Figli <srl>");
    xmlNewTextChild(header, root->ns, BAD_CAST "Ctry",
                    BAD_CAST "Societ\xC3\xA0");
    xmlNode* amount =
        xmlNewTextChild(header, root->ns, BAD_CAST "Amt", BAD_CAST "1.00");
    xmlNewProp(amount, BAD_CAST "Ccy", BAD_CAST "EUR");
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

TEST_F(XmlFileServiceTest, SavesIndentedUtf8AndLoadsItBack) {
  XmlDocument doc;
  Fill(doc);
  // Short writes of 7 bytes must still give the whole file.
  for (size_t chunk : {size_t{1} << 20, size_t{7}}) {
    DefaultXmlFileService(std::make_shared<FailingOps>(0, chunk))
        .Save(doc, Path("out.xml"));
    EXPECT_EQ(Read(Path("out.xml")), kSaved) << chunk;
    EXPECT_EQ(Names(), std::set<std::string>{"out.xml"}) << chunk;
  }
  XmlDocument loaded;
  DefaultXmlFileService().Load(loaded, Path("out.xml"));
  ASSERT_EQ(loaded.parseError().errorCode, 0) << loaded.parseError().reason;
  ASSERT_NE(loaded.get(), nullptr);
  xmlNode* root = xmlDocGetRootElement(loaded.get());
  EXPECT_STREQ(reinterpret_cast<const char*>(root->ns->href),
               "urn:CBI:xsd:CBIPaymentRequest.00.04.00");
  xmlChar* text =
      xmlNodeGetContent(xmlFirstElementChild(xmlFirstElementChild(root)));
  EXPECT_STREQ(reinterpret_cast<const char*>(text), "Rossi & Figli <srl>");
  xmlFree(text);
}

TEST_F(XmlFileServiceTest, FailedSaveLeavesFolderAsItWas) {
  auto open_descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), {});
  };
  const auto descriptors = open_descriptors();
  XmlDocument doc;
  Fill(doc);
  XmlDocument empty;
  const char kEio[] = "Input/output error";
  struct Case {
    const char* input;
    int fail_at;
    const XmlDocument* doc;
    const char* target;
    const char* why;
  } cases[] = {
      {"MakeTemp", 1, &doc, "out.xml", kEio},
      {"Write", 2, &doc, "out.xml", kEio},
      {"Sync", 3, &doc, "out.xml", kEio},
      {"Close", 4, &doc, "out.xml", kEio},
      {"Rename", 5, &doc, "out.xml", kEio},
      {"no root", 0, &empty, "out.xml",
       "il documento non ha un elemento radice"},
      {"missing folder", 0, &doc, "missing/out.xml",
       "No such file or directory"},
  };
  for (const Case& c : cases) {
    for (bool existing : {false, true}) {
      const std::string input = c.input + std::string(existing ? " over" : "");
      fs::remove(Path("out.xml"));
      if (existing) Write("out.xml", "vecchio");
      const std::string target = Path(c.target);
      try {
        DefaultXmlFileService(std::make_shared<FailingOps>(c.fail_at, 64))
            .Save(*c.doc, target);
        ADD_FAILURE() << "no error: " << input;
      } catch (const Error& error) {
        EXPECT_EQ(error.Code(), codes::kSaveFailed) << input;
        EXPECT_EQ(error.Source(), "ServizioFileXml.Save") << input;
        EXPECT_EQ(error.Description(),
                  "Impossibile salvare il file '" + target + "': " + c.why)
            << input;
      }
      EXPECT_EQ(Names(), existing ? std::set<std::string>{"out.xml"}
                                  : std::set<std::string>{})
          << input;
      if (existing) {
        EXPECT_EQ(Read(Path("out.xml")), "vecchio") << input;
      }
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
      {"undefined entity", "<a>\n<b>&nope;</b></a>", 0, 2, "<b>&nope;</b></a>"},
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
    if (c.code != 0) {
      EXPECT_EQ(error.errorCode, c.code) << c.input;
    }
    EXPECT_FALSE(error.reason.empty()) << c.input;
    EXPECT_NE(error.reason.back(), '\n') << c.input;
    EXPECT_EQ(error.url, path) << c.input;
    EXPECT_EQ(error.line, c.line) << c.input << ": " << error.reason;
    EXPECT_EQ(error.srcText, c.source) << c.input;
  }
}

TEST_F(XmlFileServiceTest, LoadsWithoutEntitiesOrSideEffects) {
  Write("secret.txt", "SEGRETO");
  Write("in.xml",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"secret.txt\">]>\n<r>&x;</r>\n");
  auto sentinel = [](void*, xmlErrorPtr) { ADD_FAILURE() << "global handler"; };
  xmlSetStructuredErrorFunc(nullptr, sentinel);
  xmlResetLastError();
  const char* indent = "\t";
  xmlTreeIndentString = indent;

  XmlDocument doc;
  DefaultXmlFileService service;
  service.Load(doc, Path("in.xml"));
  ASSERT_EQ(doc.parseError().errorCode, 0) << doc.parseError().reason;
  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc.get(), &bytes, &size);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), size).find("SEGRETO"),
            std::string::npos);
  xmlFree(bytes);
  XmlDocument bad;
  service.Load(bad, Path("secret.txt"));
  EXPECT_NE(bad.parseError().errorCode, 0);
  XmlDocument saved;
  Fill(saved);
  service.Save(saved, Path("out.xml"));
  EXPECT_EQ(Read(Path("out.xml")), kSaved);

  EXPECT_EQ(xmlStructuredError, sentinel);
  EXPECT_EQ(xmlGetLastError(), nullptr);
  EXPECT_EQ(xmlTreeIndentString, indent);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  xmlTreeIndentString = "  ";
}

}  // namespace
}  // namespace zsepa::framework
