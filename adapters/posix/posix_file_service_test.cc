#include "adapters/posix/posix_file_service.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "base/utf8.h"
#include "framework/xml_document.h"
#include "framework/xml_serialiser.h"
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

// The names in `dir`, sorted.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The names in `dir` that have the form of a save's temporary files.
std::vector<std::string> TempNames(const fs::path& dir) {
  static const std::regex kTemp(R"(\.[A-Za-z0-9]{6}\.tmp$)");
  std::vector<std::string> names;
  for (const std::string& name : Names(dir)) {
    if (std::regex_search(name, kTemp)) names.push_back(name);
  }
  return names;
}

// Whether the system gives unnamed files in `dir`, as a save uses them.
bool UnnamedFilesIn(const fs::path& dir) {
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string Describe(std::string name) {
  if (name.size() > 40) {
    name = name.substr(0, 20) + "…(" + std::to_string(name.size()) + " byte)";
  }
  return name;
}

class XmlFileServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "zsepa_xml_XXXXXX");
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ / name; }
  void Clear() const {
    for (const std::string& name : Names(dir_)) fs::remove_all(dir_ / name);
  }
  static long Entries(const fs::path& dir) {
    return std::distance(fs::directory_iterator(dir), {});
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  static std::string Read(const std::string& path) {  // "" when missing
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return "";
    std::string bytes(static_cast<size_t>(file.tellg()), '\0');
    file.seekg(0).read(bytes.data(),
                       static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }
  // The tree of kSaved without declaration (no encoding) nor indentation.
  static void Fill(XmlDocument& doc) {
    const char* tree = std::strchr(kSaved, '\n');
    ResetTree(doc, xmlReadMemory(tree, std::strlen(tree), nullptr, nullptr,
                                 XML_PARSE_NOBLANKS));
  }
  // The configurations of a save: with unnamed files where this folder's
  // file system has them, and with named ones as where it has not.
  std::vector<bool> NamedOrNot() const {
    if (UnnamedFilesIn(dir_)) return {false, true};
    std::cout << "[ NOTE     ] no unnamed files in " << dir_
              << ": only named temporary files are tried\n";
    return {true};
  }

  fs::path dir_;
};

// Saves `doc` as the builder does: written through a stream, handed over in
// short pieces, where the service starts one, and otherwise with Save.
void SaveAsBuilt(PosixXmlFileService& service, const XmlDocument& doc,
                 const std::string& path) {
  const std::unique_ptr<framework::XmlSaveStream> stream =
      service.BeginSave(path);
  if (stream == nullptr) return service.Save(doc, path);
  framework::SerialiseXml(*TreeOf(doc), [&](std::string_view bytes) {
    for (; !bytes.empty();
         bytes.remove_prefix(std::min<size_t>(bytes.size(), 50))) {
      if (!stream->Write(bytes.substr(0, 50))) return false;
    }
    return true;
  });
  stream->Commit();
}

// The system's calls, with unnamed files refused when `named` (as on a file
// system without them) and the first call named `fail` failing with `error`;
// writes at most 7 bytes a call. Records the temporary names given, the
// name renamed to the target, and the temporary files seen in the folder at
// every write and sync.
class ScriptedOps : public FileOps {
 public:
  explicit ScriptedOps(bool named, std::string fail = "", int error = EIO)
      : named_(named), fail_(std::move(fail)), error_(error) {}
  int OpenTemp(const std::string& folder, mode_t mode) override {
    folder_ = folder;
    if (Fail("OpenTemp")) return -1;
    if (named_) return errno = EOPNOTSUPP, -1;
    return FileOps::OpenTemp(folder, mode);
  }
  int Link(int fd, const std::string& path) override {
    if (Fail("Link")) return -1;
    temp_names.push_back(path);
    return FileOps::Link(fd, path);
  }
  int MakeTemp(std::string& path_template, mode_t mode) override {
    folder_ = fs::path(path_template).parent_path();
    if (Fail("MakeTemp")) return -1;
    const int fd = FileOps::MakeTemp(path_template, mode);
    if (fd >= 0) temp_names.push_back(path_template);
    return fd;
  }
  long Write(int fd, const void* data, size_t size) override {
    Look();
    return Fail("Write") ? -1
                         : FileOps::Write(fd, data, std::min<size_t>(size, 7));
  }
  int Sync(int fd) override {
    Look();
    return Fail("Sync") ? -1 : FileOps::Sync(fd);
  }
  int Chown(int fd, uid_t owner, gid_t group) override {
    return Fail("Chown") ? -1 : FileOps::Chown(fd, owner, group);
  }
  int Chmod(int fd, mode_t mode) override {
    return Fail("Chmod") ? -1 : FileOps::Chmod(fd, mode);
  }
  int Close(int fd) override {  // like Linux, a failed close still closes
    return Fail("Close") ? (FileOps::Close(fd), -1) : FileOps::Close(fd);
  }
  int Rename(const std::string& from, const std::string& to) override {
    renamed = from;
    return Fail("Rename") ? -1 : FileOps::Rename(from, to);
  }

  std::vector<std::string> temp_names, seen;
  std::string renamed;

 private:
  void Look() {
    for (std::string& name : TempNames(folder_)) seen.push_back(name);
  }
  bool Fail(const std::string& call) {
    if (call != fail_ || failed_) return false;
    failed_ = true;
    errno = error_;
    return true;
  }
  bool named_;
  std::string fail_;
  int error_;
  bool failed_ = false;
  fs::path folder_;
};

// When a step of a save is made.
enum Made : unsigned {
  kAlways = 0,
  kUnnamed = 1,   // only when the file is written unnamed
  kNamed = 2,     // only when it is written under its name
  kExisting = 4,  // only when the save replaces a file
};

// A save writes kSaved whole in short writes, whole or as it is built; a
// failed one raises, leaves the folder as it was and releases every
// descriptor, whichever step fails.
// Target names up to the longest a folder takes are saved: the temporary
// names are cut to fit, never inside a character. Where the system has
// unnamed files, no temporary file can be seen in the folder while the save
// writes: it gets a name only to be renamed.
TEST_F(XmlFileServiceTest, SavesAtomically) {
  const auto descriptors = Entries("/proc/self/fd");
  XmlDocument doc, empty;
  Fill(doc);
  const char kEio[] = "Input/output error";
  std::string two_byte_letters = "a";
  while (two_byte_letters.size() < 255) two_byte_letters += "\xC3\xA0";
  // The step that fails, when it is made, the document, the target and the
  // error (nullptr: none).
  const std::tuple<const char*, unsigned, const XmlDocument*, std::string,
                   const char*>
      cases[] = {
          {"", kAlways, &doc, "out.xml", nullptr},
          {"OpenTemp", kAlways, &doc, "out.xml", kEio},
          {"MakeTemp", kNamed, &doc, "out.xml", kEio},
          {"Chown", kExisting, &doc, "out.xml", kEio},
          {"Chmod", kExisting, &doc, "out.xml", kEio},
          {"Write", kAlways, &doc, "out.xml", kEio},
          {"Sync", kAlways, &doc, "out.xml", kEio},
          {"Link", kUnnamed, &doc, "out.xml", kEio},
          {"Close", kAlways, &doc, "out.xml", kEio},
          {"Rename", kAlways, &doc, "out.xml", kEio},
          {"no root", kAlways, &empty, "out.xml",
           "il documento non ha un elemento radice"},
          {"missing folder", kAlways, &doc, "no/out.xml",
           "No such file or directory"},
          {"", kAlways, &doc, std::string(244, 'n'), nullptr},
          {"", kAlways, &doc, std::string(245, 'n'), nullptr},
          {"", kAlways, &doc, std::string(246, 'n') + ".xml", nullptr},
          {"", kAlways, &doc, std::string(251, 'n') + ".xml", nullptr},
          {"", kAlways, &doc, two_byte_letters, nullptr},
      };
  for (const auto& [named, streamed] :
       {std::pair(false, false), std::pair(true, false), std::pair(false, true),
        std::pair(true, true)}) {
    if (!named && !UnnamedFilesIn(dir_)) continue;
    for (const auto& [step, made, document, file, error] : cases) {
      // The builder always has a root.
      if (streamed && document == &empty) continue;
      for (const bool existing : {false, true}) {
        const std::string input = std::string(step) + " " + Describe(file) +
                                  (existing ? " over a file" : "") +
                                  (named ? ", named" : ", unnamed") +
                                  (streamed ? ", streamed" : "");
        const bool fails = ((made & kUnnamed) == 0 || !named) &&
                           ((made & kNamed) == 0 || named) &&
                           ((made & kExisting) == 0 || existing);
        const char* why = fails ? error : nullptr;
        // The file replaced, or left, in the test's folder.
        const std::string name = fs::path(file).filename();
        Clear();
        if (existing) Write(name, "vecchio");
        const std::string target = Path(file);
        const auto ops = std::make_shared<ScriptedOps>(named, step);
        try {
          PosixXmlFileService service(ops);
          if (streamed) {
            SaveAsBuilt(service, *document, target);
          } else {
            service.Save(*document, target);
          }
          EXPECT_EQ(why, nullptr) << "no error: " << input;
        } catch (const Error& error) {
          EXPECT_EQ(std::make_tuple(error.Code(), error.Source(),
                                    error.Description()),
                    std::make_tuple(codes::kSaveFailed, "ServizioFileXml.Save",
                                    "Impossibile salvare il file '" + target +
                                        "': " + (why ? why : "")))
              << input;
        }
        // Only the target (no temporary file), holding the old or the new
        // bytes.
        EXPECT_EQ(Entries(dir_), existing || !why ? 1 : 0) << input;
        EXPECT_EQ(Read(Path(name)), why ? (existing ? "vecchio" : "") : kSaved)
            << input;
        for (const std::string& temp : ops->temp_names) {
          const std::string base = fs::path(temp).filename();
          EXPECT_LE(base.size(), 255u) << input;
          EXPECT_TRUE(utf8::IsValid(base)) << input;
        }
        EXPECT_TRUE(named || ops->seen.empty()) << "seen: " << input;
        if (why) continue;
        ASSERT_FALSE(ops->temp_names.empty()) << input;
        EXPECT_EQ(ops->renamed, ops->temp_names.back()) << input;
      }
    }
  }
  EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
}

// A save abandoned while it is written, as when the build fails, leaves the
// folder as it was.
TEST_F(XmlFileServiceTest, AnAbandonedStreamedSaveLeavesNothing) {
  for (const bool named : NamedOrNot()) {
    for (const bool existing : {false, true}) {
      Clear();
      if (existing) Write("out.xml", "vecchio");
      {
        auto stream = PosixXmlFileService(std::make_shared<ScriptedOps>(named))
                          .BeginSave(Path("out.xml"));
        ASSERT_NE(stream, nullptr);
        EXPECT_TRUE(stream->Write(kSaved));
      }
      EXPECT_EQ(Entries(dir_), existing ? 1 : 0) << named;
      EXPECT_EQ(Read(Path("out.xml")), existing ? "vecchio" : "") << named;
    }
  }
}

// Ways to make a file that is not a regular one at `path`; false where the
// process may not.
bool MakeFifo(const std::string& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}
bool MakeFolder(const std::string& path) { return fs::create_directory(path); }
bool MakeSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::strcpy(address.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const bool made = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address),
                                      sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return made;
}
bool MakeDevice(const std::string& path) {  // as /dev/null, for root only
  return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}
bool LinkToDevNull(const std::string& path) {
  return ::symlink("/dev/null", path.c_str()) == 0;
}
bool LinksToFifo(const std::string& path) {  // path -> hop -> pipe
  const std::string folder = fs::path(path).parent_path();
  return MakeFifo(folder + "/pipe") && ::symlink("hop", path.c_str()) == 0 &&
         ::symlink("pipe", (folder + "/hop").c_str()) == 0;
}

// A target that is not a regular file, or a link that leads to one, is
// refused before anything is written and stays as it was. A load reads
// regular files only, without waiting on a named pipe.
TEST_F(XmlFileServiceTest, RefusesFilesThatAreNotRegular) {
  XmlDocument doc;
  Fill(doc);
  // What is made at the target, where a save finds it ({dir}: the folder)
  // and what it is.
  const std::tuple<const char*, bool (*)(const std::string&), std::string,
                   std::string>
      cases[] = {
          {"named pipe", MakeFifo, "", "una pipe con nome (FIFO)"},
          {"folder", MakeFolder, "", "una cartella"},
          {"socket", MakeSocket, "", "un socket"},
          {"device", MakeDevice, "", "un dispositivo a caratteri"},
          {"link to /dev/null", LinkToDevNull, "porta a '/dev/null', che ",
           "un dispositivo a caratteri"},
          {"links to a named pipe", LinksToFifo, "porta a '{dir}/pipe', che ",
           "una pipe con nome (FIFO)"},
      };
  // Each entry of `folder` with its inode and type.
  auto entries = [](const fs::path& folder) {
    std::vector<std::tuple<std::string, ino_t, mode_t>> found;
    for (const std::string& name : Names(folder)) {
      struct stat info {};
      ::lstat((folder / name).c_str(), &info);
      found.emplace_back(name, info.st_ino, info.st_mode & S_IFMT);
    }
    return found;
  };
  for (const bool named : NamedOrNot()) {
    for (const auto& [kind, make, leads, what] : cases) {
      const std::string input = kind + std::string(named ? ", named" : "");
      const fs::path folder = dir_ / "case";
      fs::remove_all(folder);
      fs::create_directory(folder);
      const std::string target = folder / "out.xml";
      if (!make(target)) {
        std::cout << "[ NOTE     ] cannot make a " << kind << " here\n";
        continue;
      }
      std::string why = leads + "non è un file regolare ma " + what;
      if (const size_t at = why.find("{dir}"); at != std::string::npos) {
        why.replace(at, 5, folder.string());
      }
      const auto before = entries(folder);
      try {
        PosixXmlFileService(std::make_shared<ScriptedOps>(named))
            .Save(doc, target);
        ADD_FAILURE() << "no error: " << input;
      } catch (const Error& error) {
        EXPECT_EQ(
            std::make_pair(error.Code(), error.Description()),
            std::make_pair(codes::kSaveFailed, "Impossibile salvare il file '" +
                                                   target + "': " + why))
            << input;
      }
      XmlDocument loaded;
      PosixXmlFileService().Load(loaded, target);
      const ParseError& error = loaded.parseError();
      EXPECT_EQ(TreeOf(loaded), nullptr) << input;
      EXPECT_EQ(std::make_pair(error.errorCode, error.reason),
                std::make_pair(codes::kLoadFileUnreadable,
                               "Impossibile leggere il file '" + target +
                                   "': non è un file regolare ma " + what))
          << input;
      EXPECT_TRUE(entries(folder) == before) << "changed: " << input;
    }
  }
}

// Through a symbolic link, or a chain of them, the file the link leads to is
// replaced (in its own folder, keeping its permissions) and the links stay;
// a link that leads nowhere creates its file.
TEST_F(XmlFileServiceTest, SavesThroughSymbolicLinks) {
  XmlDocument doc;
  Fill(doc);
  const mode_t host = ::umask(022);
  // The links made in the folders "a" and "b", the file they lead to (nullptr:
  // none), whether it exists before the save, and the error (nullptr: none).
  using Links = std::vector<std::pair<std::string, std::string>>;
  const std::string dir = dir_.string();
  const std::tuple<const char*, Links, const char*, bool, const char*> cases[] =
      {
          {"link to a file in another folder",
           {{"a/out.xml", "../b/real.xml"}},
           "b/real.xml",
           true,
           nullptr},
          {"absolute link",
           {{"a/out.xml", dir + "/b/real.xml"}},
           "b/real.xml",
           true,
           nullptr},
          {"chain of links",
           {{"a/out.xml", "hop"},
            {"a/hop", dir + "/b/hop"},
            {"b/hop", "real.xml"}},
           "b/real.xml",
           true,
           nullptr},
          {"link that leads nowhere",
           {{"a/out.xml", "../b/new.xml"}},
           "b/new.xml",
           false,
           nullptr},
          {"link into a missing folder",
           {{"a/out.xml", "../c/new.xml"}},
           nullptr,
           false,
           "No such file or directory"},
          {"loop of links",
           {{"a/out.xml", "hop"}, {"a/hop", "out.xml"}},
           nullptr,
           false,
           "Too many levels of symbolic links"},
      };
  for (const bool named : NamedOrNot()) {
    for (const auto& [input, links, file, exists, why] : cases) {
      for (const char* folder : {"a", "b", "c"}) fs::remove_all(dir_ / folder);
      fs::create_directory(dir_ / "a");
      fs::create_directory(dir_ / "b");
      for (const auto& [link, to] : links) fs::create_symlink(to, dir_ / link);
      if (exists) {
        Write(file, "vecchio");
        fs::permissions(Path(file), fs::perms(0640));
      }
      const std::string target = Path("a/out.xml");
      const auto names_a = Names(dir_ / "a");
      try {
        PosixXmlFileService(std::make_shared<ScriptedOps>(named))
            .Save(doc, target);
        EXPECT_EQ(why, nullptr) << "no error: " << input;
      } catch (const Error& error) {
        EXPECT_EQ(error.Description(), "Impossibile salvare il file '" +
                                           target + "': " + (why ? why : ""))
            << input;
      }
      // The links are as they were, no temporary file is left anywhere, and
      // the file they lead to holds the new bytes.
      for (const auto& [link, to] : links) {
        EXPECT_TRUE(fs::is_symlink(dir_ / link)) << input << ": " << link;
        if (fs::is_symlink(dir_ / link)) {
          EXPECT_EQ(fs::read_symlink(dir_ / link), to) << input;
        }
      }
      EXPECT_EQ(Names(dir_ / "a"), names_a) << input;
      EXPECT_EQ(TempNames(dir_ / "b"), std::vector<std::string>{}) << input;
      EXPECT_FALSE(fs::exists(dir_ / "c")) << input;
      if (file != nullptr) {
        EXPECT_EQ(Read(Path(file)), kSaved) << input;
        EXPECT_EQ(fs::status(Path(file)).permissions(),
                  fs::perms(exists ? 0640 : 0666 & ~0022))
            << input;
      }
    }
  }
  ::umask(host);
}

// Temporary files of a target that saves killed before their end left
// behind are removed by the next successful save of that target; anything
// else, and a temporary file that a running save holds, stays.
TEST_F(XmlFileServiceTest, RemovesTemporaryFilesLeftByKilledSaves) {
  XmlDocument doc;
  Fill(doc);
  const std::string long_name = std::string(250, 'l');  // cut to 244
  // A file (made as given) beside the target and whether the save of the
  // target removes it.
  enum Kind { kFile, kHeld, kFifo, kFolder };
  const std::tuple<std::string, std::string, Kind, bool> cases[] = {
      {"out.xml", "out.xml.AbC123.tmp", kFile, true},
      {"out.xml", "out.xml.zzzzzz.tmp", kFile, true},
      {"out.xml", "out.xml.AbC12.tmp", kFile, false},
      {"out.xml", "out.xml.AbC1234.tmp", kFile, false},
      {"out.xml", "out.xml.AbC-23.tmp", kFile, false},
      {"out.xml", "out.xml.AbC123.tmp.bak", kFile, false},
      {"out.xml", "out.xml.AbC123.TMP", kFile, false},
      {"out.xml", "other.xml.AbC123.tmp", kFile, false},
      {"out.xml", "xout.xml.AbC123.tmp", kFile, false},
      {"out.xml", "out.xml.HeLd00.tmp", kHeld, false},
      {"out.xml", "out.xml.FiFo00.tmp", kFifo, false},
      {"out.xml", "out.xml.DiR000.tmp", kFolder, false},
      {long_name, long_name.substr(0, 244) + ".Zz9Zz9.tmp", kFile, true},
      {long_name, long_name.substr(0, 243) + ".Zz9Zz9.tmp", kFile, false},
  };
  for (const bool named : NamedOrNot()) {
    std::vector<int> held;
    for (const auto& [target, name, kind, removed] : cases) {
      const std::string path = Path(name);
      if (kind == kFifo) {
        ASSERT_TRUE(MakeFifo(path));
      } else if (kind == kFolder) {
        ASSERT_TRUE(MakeFolder(path));
      } else {
        Write(name, "<parziale");
      }
      if (kind == kHeld) {  // as a running save holds its temporary file
        held.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
      }
    }
    for (const std::string& target : {std::string("out.xml"), long_name}) {
      PosixXmlFileService(std::make_shared<ScriptedOps>(named))
          .Save(doc, Path(target));
    }
    for (const auto& [target, name, kind, removed] : cases) {
      EXPECT_EQ(fs::exists(fs::symlink_status(Path(name))), !removed)
          << Describe(name) << " beside " << Describe(target)
          << (named ? ", named" : "");
    }
    for (const int fd : held) ::close(fd);
    for (const std::string& name : Names(dir_)) fs::remove_all(Path(name));
  }
}

// A document of about `megabytes` MB.
void FillLarge(XmlDocument& doc, int megabytes) {
  xmlDoc* tree = xmlNewDoc(BAD_CAST "1.0");
  xmlNode* root = xmlNewNode(nullptr, BAD_CAST "Doc");
  xmlDocSetRootElement(tree, root);
  const std::string text(1000, 'x');
  for (int i = 0; i < megabytes * 1000; ++i) {
    xmlNewTextChild(root, nullptr, BAD_CAST "Rec", BAD_CAST text.c_str());
  }
  ResetTree(doc, tree);
}

// A process killed at any moment of a save leaves either no target or the
// complete new file. Where the system has unnamed files no temporary file is
// left (except one killed in the instant between naming and renaming the
// complete file, which then holds the complete bytes); with named temporary
// files a partial one may be left. Whatever is left is gone after the next
// successful save.
TEST_F(XmlFileServiceTest, SavesKilledAtAnyMomentLeaveNoPartialFile) {
  // The system's calls as on a file system without unnamed files.
  class NamedOps : public FileOps {
   public:
    int OpenTemp(const std::string&, mode_t) override {
      errno = EOPNOTSUPP;
      return -1;
    }
  };
  XmlDocument doc;
  FillLarge(doc, 24);
  const std::string target = Path("big.xml");
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::string expected;
  for (const bool named : NamedOrNot()) {
    PosixXmlFileService service(named ? std::make_shared<NamedOps>() : nullptr);
    fs::remove(target);
    const auto start = std::chrono::steady_clock::now();
    service.Save(doc, target);
    const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    if (expected.empty()) expected = Read(target);
    ASSERT_TRUE(Read(target) == expected);
    std::uniform_int_distribution<long> delay(0, one_save.count());
    std::set<std::string> left;  // temporary files seen after a kill
    int complete_left = 0, without_target = 0;
    for (int round = 0; round < 20; ++round) {
      // Every other save replaces the file: the target must then stay.
      const bool replacing = round % 2 == 1;
      if (!replacing) fs::remove(target);
      if (replacing && !fs::exists(target)) {
        std::ofstream(target, std::ios::binary) << expected;
      }
      const auto pause = std::chrono::microseconds(delay(random));
      const std::string input = std::string(named ? "named" : "unnamed") +
                                ", kill " + std::to_string(round) + " after " +
                                std::to_string(pause.count()) + " µs (seed " +
                                std::to_string(seed) + ")";
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        try {
          for (;;) service.Save(doc, target);
        } catch (...) {
        }
        ::_exit(1);
      }
      std::this_thread::sleep_for(pause);
      ::kill(child, SIGKILL);
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status)) << "the save failed: " << input;
      if (fs::exists(target)) {
        EXPECT_TRUE(Read(target) == expected) << "target incomplete: " << input;
      } else {
        EXPECT_FALSE(replacing) << "target gone: " << input;
        ++without_target;
      }
      // A file left by an earlier kill no longer changes.
      for (const std::string& name : TempNames(dir_)) {
        if (!left.insert(name).second) continue;
        const bool complete = Read(Path(name)) == expected;
        if (complete) ++complete_left;
        EXPECT_TRUE(named || complete) << "partial temporary file: " << input;
      }
    }
    std::cout << "[ NOTE     ] " << (named ? "named" : "unnamed")
              << " temporary files: one save " << one_save.count() << " µs; "
              << without_target << " of 10 new targets absent; " << left.size()
              << " temporary files left (" << complete_left << " complete)\n";
    service.Save(doc, target);
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"big.xml"}) << named;
    EXPECT_TRUE(Read(target) == expected) << named;
  }
  XmlDocument loaded;
  PosixXmlFileService().Load(loaded, target);
  EXPECT_EQ(loaded.parseError().errorCode, 0) << loaded.parseError().reason;
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

// A new file gets the default permissions less the umask. A replaced file
// keeps its permissions and, where the process may give it away (root), its
// owner and group. A process that may not give a file away keeps its group
// where it may and saves all the same.
TEST_F(XmlFileServiceTest, FileGetsItsPermissionsAndOwner) {
  // Refuses to change the owner (`refused` 1), and the group too (2).
  class RefusingOps : public ScriptedOps {
   public:
    RefusingOps(bool named, int refused)
        : ScriptedOps(named), refused_(refused) {}
    int Chown(int fd, uid_t owner, gid_t group) override {
      const bool of_owner = owner != static_cast<uid_t>(-1);
      if ((of_owner && refused_ > 0) || refused_ > 1) {
        errno = EPERM;
        return -1;
      }
      return ScriptedOps::Chown(fd, owner, group);
    }

   private:
    int refused_;
  };
  XmlDocument doc;
  Fill(doc);
  const bool root = ::geteuid() == 0;
  if (!root) std::cout << "[ NOTE     ] not root: owners are not changed\n";
  // The replaced file's permissions (0: no file before), what the system
  // refuses, and the umask.
  const std::tuple<mode_t, int, mode_t> cases[] = {
      {0600, 0, 022},  {0640, 0, 022}, {0444, 0, 022}, {0660, 0, 022},
      {02750, 0, 022}, {0640, 1, 022}, {0640, 2, 022}, {0, 0, 022},
      {0, 0, 027},     {0, 0, 077},    {0, 0, 0},
  };
  for (const bool named : NamedOrNot()) {
    for (const auto& [mode, refused, mask] : cases) {
      std::ostringstream input;
      input << std::oct << mode << " refused " << refused << " umask " << mask
            << (named ? " named" : "");
      fs::remove(Path("out.xml"));
      if (mode != 0) {
        Write("out.xml", "vecchio");
        // Root can show the owner and group kept; others only have their own.
        if (root) {
          ASSERT_EQ(::chown(Path("out.xml").c_str(), 4242, 4343), 0);
        }
        ASSERT_EQ(::chmod(Path("out.xml").c_str(), mode), 0);
      }
      const mode_t host = ::umask(mask);
      umask_calls = 0;
      count_umask_calls = true;
      PosixXmlFileService(std::make_shared<RefusingOps>(named, refused))
          .Save(doc, Path("out.xml"));
      count_umask_calls = false;
      EXPECT_EQ(::umask(host), mask) << input.str();
      EXPECT_EQ(umask_calls, 0) << input.str();
      struct stat info {};
      ASSERT_EQ(::stat(Path("out.xml").c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, mode != 0 ? mode : 0666 & ~mask)
          << input.str();
      const bool given = root && mode != 0;
      EXPECT_EQ(
          std::make_pair(info.st_uid, info.st_gid),
          std::make_pair(given && refused < 1 ? uid_t{4242} : ::geteuid(),
                         given && refused < 2 ? gid_t{4343} : ::getegid()))
          << input.str();
      EXPECT_EQ(Read(Path("out.xml")), kSaved) << input.str();
    }
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
