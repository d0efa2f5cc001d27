#include "writers/schema_validation.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

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

// A named pipe at `path` into which `text` is written whenever a reader has
// it open, until the feeder is let go. Nobody should open it: the feeder
// only turns a reader that would wait for ever for a writer into one that
// reads (the text, once or more), so that a validation that opens the pipe
// does not hang but comes to a wrong outcome. On destruction the feeder is
// let go by an open that does not wait.
class PipeFeeder {
 public:
  PipeFeeder(std::string path, std::string text) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) {
      ADD_FAILURE() << "cannot make the named pipe " << path_;
      return;
    }
    thread_ = std::thread([this, text = std::move(text)] {
      for (;;) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return;
        if (stop_) {
          ::close(fd);
          return;
        }
        for (size_t done = 0; done < text.size();) {
          const ssize_t wrote =
              ::write(fd, text.data() + done, text.size() - done);
          if (wrote <= 0) break;
          done += static_cast<size_t>(wrote);
        }
        ::close(fd);
      }
    });
  }
  ~PipeFeeder() {
    if (!thread_.joinable()) return;
    stop_ = true;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    thread_.join();
    if (fd >= 0) ::close(fd);
  }
  PipeFeeder(const PipeFeeder&) = delete;
  PipeFeeder& operator=(const PipeFeeder&) = delete;

 private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Files that are not regular, given to the validation or named by a schema,
// are refused with 53 and the reason, without waiting on a named pipe.
TEST_F(SchemaValidationTest, RefusesFilesThatAreNotRegular) {
  const std::string ok_text = "<Doc xmlns=\"urn:m\"><Cd>SEPA</Cd></Doc>";
  const std::string ok = Write("ok.xml", ok_text);
  const std::string types =
      "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "targetNamespace=\"urn:t\"><xs:simpleType name=\"Code\">"
      "<xs:restriction base=\"xs:string\"/></xs:simpleType></xs:schema>\n";
  const std::string main_text = [&] {
    std::ifstream in(xsd_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  // The main schema with its import of types.xsd taken from `location`.
  auto importing = [&](const std::string& name, const std::string& location) {
    std::string text = main_text;
    text.replace(text.find("types.xsd"), 9, location);
    return Write(name, text);
  };
  const std::string dir = dir_.string();
  const char kPipe[] = "non è un file regolare ma una pipe con nome (FIFO)";
  // The check, which makes what it reads, and what its message must hold.
  const std::tuple<const char*, std::function<std::string()>, std::string>
      cases[] = {
          {"named pipe as the file",
           [&] {
             PipeFeeder pipe(dir + "/pipe.xml", ok_text);
             ValidateAgainstSchema(dir + "/pipe.xml", xsd_);
             return "accepted";
           },
           "Impossibile leggere il file " + dir + "/pipe.xml: " + kPipe},
          {"named pipe as the schema",
           [&] {
             PipeFeeder pipe(dir + "/pipe.xsd", main_text);
             ValidateAgainstSchema(ok, dir + "/pipe.xsd");
             return "accepted";
           },
           "Impossibile leggere il file " + dir + "/pipe.xsd: " + kPipe},
          {"named pipe imported",
           [&] {
             PipeFeeder pipe(dir + "/types-pipe.xsd", types);
             ValidateAgainstSchema(ok, importing("m1.xsd", "types-pipe.xsd"));
             return "accepted";
           },
           "Lo schema " + dir +
               "/m1.xsd non può essere compilato: "
               "impossibile leggere il file " +
               dir + "/types-pipe.xsd: " + kPipe},
          {"named pipe imported by URL",
           [&] {
             PipeFeeder pipe(dir + "/types-url.xsd", types);
             ValidateAgainstSchema(
                 ok, importing("m2.xsd", "file://" + dir + "/types-url.xsd"));
             return "accepted";
           },
           "/types-url.xsd: " + std::string(kPipe)},
          {"named pipe included",
           [&] {
             PipeFeeder pipe(
                 dir + "/included.xsd",
                 "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                 "targetNamespace=\"urn:m\"/>\n");
             ValidateAgainstSchema(
                 ok, Write("m3.xsd",
                           "<xs:schema "
                           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                           "targetNamespace=\"urn:m\">\n"
                           "<xs:include schemaLocation=\"included.xsd\"/>\n"
                           "<xs:element name=\"Doc\"/>\n</xs:schema>\n"));
             return "accepted";
           },
           "Lo schema " + dir +
               "/m3.xsd non può essere compilato: "
               "impossibile leggere il file " +
               dir + "/included.xsd: " + kPipe},
          {"device imported",
           [&] {
             ValidateAgainstSchema(ok, importing("m4.xsd", "/dev/null"));
             return "accepted";
           },
           "impossibile leggere il file /dev/null: non è un file regolare ma "
           "un dispositivo a caratteri"},
          {"device as the schema",
           [&] {
             fs::create_symlink("/dev/null", dir_ / "null.xsd");
             ValidateAgainstSchema(ok, dir + "/null.xsd");
             return "accepted";
           },
           "Impossibile leggere il file " + dir +
               "/null.xsd: non è un file regolare ma un dispositivo a "
               "caratteri"},
          {"folder as the file",
           [&] {
             fs::create_directory(dir_ / "folder.xml");
             ValidateAgainstSchema(dir + "/folder.xml", xsd_);
             return "accepted";
           },
           "Impossibile leggere il file " + dir +
               "/folder.xml: non è un file regolare ma una cartella"},
          {"named pipe for its namespace",
           [&] {
             PipeFeeder pipe(dir + "/ns.xml", ok_text);
             return RootNamespace(dir + "/ns.xml");
           },
           "Impossibile leggere il file " + dir + "/ns.xml: " + kPipe},
      };
  for (const auto& [input, check, message] : cases) {
    std::string outcome;
    try {
      outcome = check();
    } catch (const Error& error) {
      EXPECT_EQ(error.Code(), 53) << input;
      outcome = error.Description();
    }
    EXPECT_NE(outcome.find(message), std::string::npos)
        << input << ": " << outcome;
  }
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
