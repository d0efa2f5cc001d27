// The source tree's layering: the includes between folders form no cycle,
// public headers include only public headers, and C headers of third-party
// libraries and of the operating system stay in the adapters (libxml2 aside,
// the core's one library).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace zsepa {
namespace {

namespace fs = std::filesystem;
const fs::path kRoot = ZSEPA_SOURCE_DIR;

// The production sources: every .cc and .h outside tests, benchmarks and
// test helpers.
std::vector<fs::path> Sources() {
  std::vector<fs::path> files;
  for (const char* top :
       {"base", "model", "framework", "db", "format", "writers", "status",
        "checks", "adapters", "include", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(kRoot / top)) {
      const fs::path& path = entry.path();
      const std::string name = path.filename().string();
      if ((path.extension() != ".cc" && path.extension() != ".h") ||
          name.find("_test.") != std::string::npos ||
          name == "test_support.h" ||
          path.parent_path().filename() == "testing") {
        continue;
      }
      files.push_back(path);
    }
  }
  return files;
}

// The folder that a file belongs to: "adapters/x" for adapters, the top
// folder otherwise ("include" for the public headers).
std::string FolderOf(const std::string& relative) {
  const size_t slash = relative.find('/');
  const std::string top = relative.substr(0, slash);
  if (top == "adapters") {
    return relative.substr(0, relative.find('/', slash + 1));
  }
  return top;
}

struct Include {
  std::string header;
  bool quoted;
};

std::vector<Include> IncludesOf(const fs::path& file) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::vector<Include> includes;
  std::ifstream in(file);
  std::smatch match;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_search(line, match, kInclude)) {
      includes.push_back({match[2], match[1] == "\""});
    }
  }
  return includes;
}

std::string Relative(const fs::path& file) {
  return fs::relative(file, kRoot).generic_string();
}

TEST(LayoutTest, FoldersFormNoCycle) {
  std::map<std::string, std::set<std::string>> edges;
  for (const fs::path& file : Sources()) {
    const std::string from = FolderOf(Relative(file));
    for (const Include& include : IncludesOf(file)) {
      if (!include.quoted) continue;
      const std::string to = include.header.rfind("zsepa/", 0) == 0
                                 ? "include"
                                 : FolderOf(include.header);
      if (to != from) edges[from].insert(to);
    }
  }
  // Depth-first search; a folder met again on the current path closes a
  // cycle.
  std::map<std::string, int> state;  // 1: on the path, 2: done
  std::vector<std::string> path;
  std::string cycle;
  std::function<void(const std::string&)> visit = [&](const std::string& at) {
    state[at] = 1;
    path.push_back(at);
    for (const std::string& next : edges[at]) {
      if (!cycle.empty()) return;
      if (state[next] == 1) {
        for (const std::string& step : path) cycle += step + " -> ";
        cycle += next;
        return;
      }
      if (state[next] == 0) visit(next);
    }
    path.pop_back();
    state[at] = 2;
  };
  for (const auto& [folder, unused] : edges) {
    if (state[folder] == 0) visit(folder);
  }
  EXPECT_EQ(cycle, "");
  // The public headers and the value types depend on nothing of ours.
  EXPECT_EQ(edges["include"], std::set<std::string>{});
  EXPECT_EQ(edges["base"], std::set<std::string>{"include"});
  // The pre-flight checks read the model through the pure helpers of the
  // formatting and the writers; only the program calls them.
  for (const std::string& to : edges["checks"]) {
    EXPECT_TRUE(
        std::set<std::string>({"include", "base", "format", "model", "writers"})
            .contains(to))
        << "checks includes " << to;
  }
  for (const auto& [from, to] : edges) {
    if (to.contains("checks")) {
      EXPECT_EQ(from, "tools") << from << " includes checks";
    }
  }
}

TEST(LayoutTest, PlatformHeadersStayInAdapters) {
  static const std::regex kPlatform(
      R"(^(sqlite3|sql|sqlext|unistd|fcntl|windows)\.h$|^sys/)");
  for (const fs::path& file : Sources()) {
    const std::string relative = Relative(file);
    const std::string folder = FolderOf(relative);
    if (folder.rfind("adapters/", 0) == 0 || folder == "tools") continue;
    for (const Include& include : IncludesOf(file)) {
      if (include.quoted) continue;
      EXPECT_FALSE(std::regex_search(include.header, kPlatform))
          << relative << " includes <" << include.header << ">";
      if (folder == "include") {
        EXPECT_EQ(include.header.find("libxml"), std::string::npos)
            << relative << " includes <" << include.header << ">";
      }
    }
  }
}

}  // namespace
}  // namespace zsepa
