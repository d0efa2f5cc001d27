#ifndef ZSEPA_STATUS_REPORT_TREE_H_
#define ZSEPA_STATUS_REPORT_TREE_H_

#include <cstddef>
#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;

namespace zsepa::status {

// Lookups in a loaded status report. Elements are found by the ending of
// their qualified name: "GrpHdr" finds <GrpHdr>, <ns:GrpHdr> and any element
// whose name (prefix included) ends in "GrpHdr", so that a prefix, a default
// namespace or none read alike and no namespace is ever registered. A name
// holding an apostrophe finds nothing, and the empty name finds every
// element. Each lookup walks the tree natively and never fails: "none" is
// nullptr.
using Element = const _xmlNode*;

// Whether `element`'s qualified name ends with `name`.
bool NameEndsWith(Element element, std::string_view name);

// The first element of the whole document, in document order, whose name
// ends with `name`; nullptr for none (also without a tree).
Element FirstElement(const _xmlDoc* doc, std::string_view name);

// The first direct child element of `parent` whose name ends with `name`,
// starting after `after` (from the first child when `after` is nullptr).
// With `parent` nullptr this is FirstElement of `doc`.
Element ChildElement(const _xmlDoc* doc, Element parent, std::string_view name,
                     Element after = nullptr);

// Follows `path`, split at every "/", from `start`: each piece is looked up
// with ChildElement among the children of the element found for the piece
// before. nullptr as soon as a piece finds nothing, and for the empty path.
Element PathElement(const _xmlDoc* doc, Element start, std::string_view path);

// The text of an element as a DOM gives it: the text and CDATA of all its
// descendants in document order, text nodes of blanks only left out, and the
// replacement text of internal entities included (external entities are
// never loaded). `entity_budget` is how many bytes entity references may
// still add in this read; the text of a reference beyond it raises
// zsepa::Error(codes::kLoadFileTooLarge), so that a small file cannot
// expand into a huge text.
std::string ElementText(Element element, size_t& entity_budget);

}  // namespace zsepa::status

#endif  // ZSEPA_STATUS_REPORT_TREE_H_
