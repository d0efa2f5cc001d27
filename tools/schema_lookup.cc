#include "tools/schema_lookup.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "tools/input_file.h"

namespace zsepa::cli {
namespace {

// The schemas' root start tags sit well within the first few kilobytes.
constexpr size_t kHeadBytes = 64 * 1024;

// The start tag of the root element: the first "<" that opens neither a
// declaration, a processing instruction, a comment nor a DOCTYPE.
std::string RootStartTag(const std::string& text) {
  size_t at = 0;
  while ((at = text.find('<', at)) != std::string::npos) {
    if (text.compare(at, 4, "<!--") == 0) {
      at = text.find("-->", at);
    } else if (text.compare(at, 2, "<?") == 0 ||
               text.compare(at, 2, "<!") == 0) {
      at = text.find('>', at);
    } else {
      const size_t end = text.find('>', at);
      return text.substr(at, end == std::string::npos ? end : end - at);
    }
    if (at == std::string::npos) break;
  }
  return "";
}

}  // namespace

std::string TargetNamespaceOf(const std::string& xsd_path) {
  // Never blocks: a named pipe or a device called *.xsd is no schema.
  const std::optional<std::string> head = ReadHead(xsd_path, kHeadBytes);
  if (!head) return "";
  const std::string tag = RootStartTag(*head);
  static constexpr std::string_view kAttribute = "targetNamespace";
  size_t at = 0;
  while ((at = tag.find(kAttribute, at)) != std::string::npos) {
    const bool starts_word =
        at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' ||
                   tag[at - 1] == '\n' || tag[at - 1] == '\r');
    size_t pos = at + kAttribute.size();
    at = pos;
    if (!starts_word) continue;
    while (pos < tag.size() && (tag[pos] == ' ' || tag[pos] == '\t' ||
                                tag[pos] == '\n' || tag[pos] == '\r')) {
      ++pos;
    }
    if (pos >= tag.size() || tag[pos] != '=') continue;
    ++pos;
    while (pos < tag.size() && (tag[pos] == ' ' || tag[pos] == '\t' ||
                                tag[pos] == '\n' || tag[pos] == '\r')) {
      ++pos;
    }
    if (pos >= tag.size() || (tag[pos] != '"' && tag[pos] != '\'')) continue;
    const size_t close = tag.find(tag[pos], pos + 1);
    if (close == std::string::npos) return "";
    return tag.substr(pos + 1, close - pos - 1);
  }
  return "";
}

std::optional<std::string> FindSchemaFor(const std::string& xsd_dir,
                                         const std::string& ns) {
  namespace fs = std::filesystem;
  if (ns.empty()) return std::nullopt;
  std::error_code error;
  std::vector<fs::path> candidates;
  for (fs::directory_iterator it(xsd_dir, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path& path = it->path();
    if (path.extension() == ".xsd" && TargetNamespaceOf(path.string()) == ns) {
      candidates.push_back(path);
    }
  }
  if (candidates.empty()) return std::nullopt;
  std::sort(candidates.begin(), candidates.end());
  const std::string preferred = ns.substr(ns.find_last_of(":/") + 1) + ".xsd";
  for (const fs::path& path : candidates) {
    if (path.filename() == preferred) return path.string();
  }
  return candidates.front().string();
}

}  // namespace zsepa::cli
