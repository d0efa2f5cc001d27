#ifndef ZSEPA_FRAMEWORK_XML_SERIALISER_H_
#define ZSEPA_FRAMEWORK_XML_SERIALISER_H_

#include <cstddef>
#include <functional>
#include <string_view>

struct _xmlDoc;

namespace zsepa::framework {

class CompactTree;

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
bool SerialiseXml(const framework::CompactTree& tree,
                  const std::function<bool(std::string_view)>& output);

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_XML_SERIALISER_H_
