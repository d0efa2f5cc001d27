#ifndef ZSEPA_FRAMEWORK_XML_SERIALISER_H_
#define ZSEPA_FRAMEWORK_XML_SERIALISER_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/compact_tree.h"

struct _xmlDoc;

namespace zsepa::framework {

// The serialiser hands its output over in pieces of at most this many bytes.
inline constexpr size_t kSerialiserPieceSize = 64u << 10;

// Writes the saved form of `doc` through `output`, which receives the bytes
// in order, in pieces of at most kSerialiserPieceSize bytes, and returns
// false to stop the serialisation (reporting why is the caller's business).
// Returns false when `output` did. Raises std::bad_alloc when memory runs
// out.
//
// The saved form is fixed, whatever libxml2's own serialiser settings are:
// the declaration <?xml version="1.0" encoding="UTF-8"?>, LF line ends, UTF-8
// text as it is, & < > escaped in text with CR as &#13;, attribute values in
// double quotes with & < > " TAB LF CR escaped, namespace declarations where
// the tree holds them (xmlns="..." on the root of a built document), empty
// elements as <a/>, and libxml2's layout: an element whose children are all
// elements (or comments, processing instructions) has each child on its own
// line, indented by two spaces a level (at most 30 levels); an element with
// any text child is written inline, its whole content as it is; every node
// at the top of the document ends with a line break. A document type
// declaration is written as libxml2 writes it (it never depends on those
// settings). Written bytes are equal to those of libxml2's serialiser with
// its default settings, except that a namespace name is escaped as an
// attribute value is.
//
// Reads the tree only: documents on different threads may be serialised at
// once.
bool SerialiseXml(const _xmlDoc& doc,
                  const std::function<bool(std::string_view)>& output);

// Writes the saved form of a built document, byte for byte what the function
// above writes for the libxml2 tree that tree.ToLibxml2() makes, without
// making it. The tree must have a root.
bool SerialiseXml(const CompactTree& tree,
                  const std::function<bool(std::string_view)>& output);

// Writes the saved form of a built document while it is being built: the
// same bytes that SerialiseXml writes for the finished tree, without keeping
// the tree. The root and every element that stays open for more children
// are started when they are opened, each finished element is written when it
// is appended, and end tags follow as the open elements close. Once `output`
// has refused bytes, nothing more is handed over. Raises std::bad_alloc when
// memory runs out.
class StreamSerialiser {
 public:
  explicit StreamSerialiser(std::function<bool(std::string_view)> output);
  ~StreamSerialiser();
  StreamSerialiser(const StreamSerialiser&) = delete;
  StreamSerialiser& operator=(const StreamSerialiser&) = delete;

  // Starts the container `node`, with the children it has so far, as the
  // last child of the innermost open element, or as the root declaring the
  // default namespace `namespace_uri` when no element is open. The node is
  // not read afterwards.
  void Open(const CompactTree::Node& node, const std::string& namespace_uri);
  // Writes the finished `node` and its subtree as the last child of the
  // innermost open element.
  void Append(const CompactTree::Node& node);
  // Ends the innermost open element.
  void Close();
  // Hands over what is still buffered; false once `output` refused bytes.
  bool Flush();

 private:
  class Impl;
  std::function<bool(std::string_view)> output_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_XML_SERIALISER_H_
