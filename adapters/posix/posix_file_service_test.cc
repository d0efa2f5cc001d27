#include "adapters/posix/posix_file_service.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "framework/xml_document.h"
#include "zsepa/error.h"

namespace zsepa::posix {
namespace {

namespace fs = std::filesystem;
using framework::ParseError;
using framework::ResetTree;
using framework::TreeOf;
using framework::XmlDocument;

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
  static long Entries(const fs::path& dir) {
    return std::distance(fs::directory_iterator(dir), {});
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {  // "" when missing
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
  // The tree of kSaved without declaration (no encoding) nor indentation.
  static void Fill(XmlDocument& doc) {
    const char* tree = std::strchr(kSaved, '\n');
    ResetTree(doc, xmlReadMemory(tree, std::strlen(tree), nullptr, nullptr,
                                 XML_PARSE_NOBLANKS));
  }

  fs::path dir_;
};

// Fails the n-th file-system call of a save (1: MakeTemp, 2: Write, 3: Sync,
// 4: Close, 5: Rename) with EIO; writes at most 7 bytes a call.
class FailingOps : public FileOps {
 public:
  explicit FailingOps(int fail_at) : fail_at_(fail_at) {}
  int MakeTemp(std::string& t) override {
    return Fail() ? -1 : FileOps::MakeTemp(t);
  }
  long Write(int fd, const void* data, size_t size) override {
    return Fail() ? -1 : FileOps::Write(fd, data, std::min<size_t>(size, 7));
  }
  int Sync(int fd) override { return Fail() ? -1 : FileOps::Sync(fd); }
  int Close(int fd) override {  // like Linux, a failed close still closes
    return Fail() ? (FileOps::Close(fd), -1) : FileOps::Close(fd);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return Fail() ? -1 : FileOps::Rename(from, to);
  }

 private:
  bool Fail() { return ++calls_ == fail_at_ && (errno = EIO) != 0; }
  int fail_at_;
  int calls_ = 0;
};

// A save writes kSaved whole in short writes; a failed one raises, leaves the
// folder as it was and releases every descriptor.
TEST_F(XmlFileServiceTest, SavesAtomically) {
  const auto descriptors = Entries("/proc/self/fd");
  XmlDocument doc, empty;
  Fill(doc);
  const char kEio[] = "Input/output error";
  const std::tuple<const char*, int, const XmlDocument*, const char*,
                   const char*>
      cases[] = {
          {"saved", 0, &doc, "out.xml", nullptr},
          {"MakeTemp", 1, &doc, "out.xml", kEio},
          {"Write", 2, &doc, "out.xml", kEio},
          {"Sync", 3, &doc, "out.xml", kEio},
          {"Close", 4, &doc, "out.xml", kEio},
          {"Rename", 5, &doc, "out.xml", kEio},
          {"no root", 0, &empty, "out.xml",
           "il documento non ha un elemento radice"},
          {"missing folder", 0, &doc, "no/out.xml",
           "No such file or directory"},
      };
  for (const auto& [name, fail_at, document, file, why] : cases) {
    for (bool existing : {false, true}) {
      const std::string input = name + std::string(existing ? " over" : "");
      fs::remove(Path("out.xml"));
      if (existing) Write("out.xml", "vecchio");
      const std::string target = Path(file);
      try {
        PosixXmlFileService(std::make_shared<FailingOps>(fail_at))
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
      // Only out.xml (no temporary file), holding the old or the new bytes.
      EXPECT_EQ(Entries(dir_), existing || !why ? 1 : 0) << input;
      EXPECT_EQ(Read(Path("out.xml")),
                why ? (existing ? "vecchio" : "") : kSaved)
          << input;
    }
  }
  EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
}

// Input, content (nullptr: no such file), error code (0: any libxml2 code),
// line and source text of the first error.
TEST_F(XmlFileServiceTest, ReportsFirstErrorOfBadFiles) {
  const std::tuple<const char*, const char*, int32_t, int32_t, std::string>
      cases[] = {
          {"missing file", nullptr, codes::kLoadFileUnreadable, 0, ""},
          {"empty file", "", 0, 1, ""},
          {"second root", "<a/>\n<b/>\n", 0, 2, "<b/>"},
          {"invalid UTF-8", "<a>\r\n<b>\xC3(</b>\r\n</a>", 0, 2,
           "<b>\xEF\xBF\xBD(</b>"},
          {"entity of an unread DTD",
           "<!DOCTYPE r SYSTEM \"x.dtd\">\n<r>&u;</r>", 0, 2, "<r>&u;</r>"},
          {"undeclared prefix", "<a>\n<x:b/></a>", 0, 2, "<x:b/></a>"},
          {"two errors", "<r>\n <a/>\n <a>&bad;</a>\n <b></c>\n</r>", 0, 3,
           " <a>&bad;</a>"},
          {"too large", "<a>oltre il limite</a>", codes::kLoadFileTooLarge, 0,
           ""},
      };
  for (const auto& [input, content, code, line, source] : cases) {
    std::string path = Path("in.xml");
    fs::remove(path);
    if (content != nullptr) Write("in.xml", content);
    XmlDocument doc;
    Fill(doc);  // a tree held before must go
    // A 16-byte limit for the too-large file, which is the only longer one.
    PosixXmlFileService(nullptr, code == codes::kLoadFileTooLarge ? 16 : 1024)
        .Load(doc, path);
    const ParseError& error = doc.parseError();
    EXPECT_EQ(TreeOf(doc), nullptr) << input;
    EXPECT_TRUE(code ? error.errorCode == code : error.errorCode != 0) << input;
    EXPECT_TRUE(!error.reason.empty() && error.reason.back() != '\n') << input;
    EXPECT_EQ(std::tie(error.url, error.line, error.srcText),
              std::tie(path, line, source))
        << input << ": " << error.reason;
  }
}

// Serialiser settings a host may give libxml2 for its own saves: the saved
// form must not follow them, and a save must leave them as they are. They are
// deprecated in recent libxml2, which is no reason for a host not to use
// them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
class HostSerialiserSettings {
 public:
  HostSerialiserSettings() {
    xmlIndentTreeOutput = 0;
    xmlTreeIndentString = kTab;
    xmlSaveNoEmptyTags = 1;
  }
  ~HostSerialiserSettings() {  // back to libxml2's defaults
    xmlIndentTreeOutput = 1;
    xmlTreeIndentString = "  ";
    xmlSaveNoEmptyTags = 0;
  }
  static bool Kept() {
    return xmlIndentTreeOutput == 0 && xmlTreeIndentString == kTab &&
           xmlSaveNoEmptyTags == 1;
  }

 private:
  static constexpr const char* kTab = "\t";
};
#pragma GCC diagnostic pop

// Errors that reached the thread's libxml2 handler installed by the test.
int host_handler_calls = 0;

// No external entity is read, and libxml2's thread handler, last error and
// serialiser settings are left as the host set them.
TEST_F(XmlFileServiceTest, LoadsWithoutEntitiesOrSideEffects) {
  Write("secret.txt", "SEGRETO");
  Write("in.xml",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"secret.txt\">]>\n<r>&x;</r>\n");
  XmlDocument saved, doc, bad;
  Fill(saved);
  // A generic lambda converts to the handler type of every libxml2 version.
  xmlSetStructuredErrorFunc(nullptr, [](void*, auto) { ++host_handler_calls; });
  host_handler_calls = 0;
  xmlResetLastError();
  {
    HostSerialiserSettings host;
    PosixXmlFileService service;
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
    EXPECT_TRUE(HostSerialiserSettings::Kept());
  }
  EXPECT_EQ(xmlGetLastError(), nullptr);
  EXPECT_EQ(host_handler_calls, 0);
  // The host's handler is still the one libxml2 reports to.
  xmlFreeDoc(xmlReadMemory("<a>", 3, nullptr, nullptr, 0));
  EXPECT_GT(host_handler_calls, 0);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  xmlResetLastError();
}

// A save neither reads nor changes the umask, not even for a moment (another
// thread creating a file meanwhile would get the wrong permissions): the
// system applies it when the file is created. umask() below stands in for
// the C library's and counts the calls made while a save runs.
bool count_umask_calls = false;
int umask_calls = 0;

TEST_F(XmlFileServiceTest, NewFileGetsDefaultPermissionsWithoutUmaskChange) {
  XmlDocument doc;
  Fill(doc);
  for (const mode_t mask : {022, 027, 077, 0}) {
    const mode_t host = ::umask(mask);
    fs::remove(Path("out.xml"));
    umask_calls = 0;
    count_umask_calls = true;
    PosixXmlFileService().Save(doc, Path("out.xml"));
    count_umask_calls = false;
    struct stat info {};
    ASSERT_EQ(::stat(Path("out.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
    EXPECT_EQ(umask_calls, 0) << std::oct << mask;
    EXPECT_EQ(::umask(host), mask);
  }
}

}  // namespace
}  // namespace zsepa::posix

extern "C" mode_t umask(mode_t mask) noexcept {
  using Umask = mode_t (*)(mode_t);
  static const auto real = reinterpret_cast<Umask>(::dlsym(RTLD_NEXT, "umask"));
  if (zsepa::posix::count_umask_calls) ++zsepa::posix::umask_calls;
  return real(mask);
}
