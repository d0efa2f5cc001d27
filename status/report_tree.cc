#include "status/report_tree.h"

#include <libxml/entities.h>
#include <libxml/tree.h>

#include <string>
#include <utility>
#include <vector>

#include "zsepa/error.h"

namespace zsepa::status {
namespace {

std::string_view View(const xmlChar* text) {
  return text == nullptr
             ? std::string_view()
             : std::string_view(reinterpret_cast<const char*>(text));
}

// A name with an apostrophe cannot stand in the quoted literal of a name
// test, so it finds nothing.
bool Searchable(std::string_view name) {
  return name.find('\'') == std::string_view::npos;
}

// The element after `node` in document order, descending into elements only
// and never leaving the document; nullptr after the last one.
const xmlNode* NextInDocument(const xmlNode* node) {
  if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
    return node->children;
  }
  while (node != nullptr && node->next == nullptr) {
    node = node->parent;
    if (node == nullptr || node->type == XML_DOCUMENT_NODE) return nullptr;
  }
  return node == nullptr ? nullptr : node->next;
}

}  // namespace

bool NameEndsWith(Element element, std::string_view name) {
  const std::string_view local = View(element->name);
  if (local.size() >= name.size()) return local.ends_with(name);
  // The name reaches into the prefix: "ns:GrpHdr" ends with "s:GrpHdr".
  if (element->ns == nullptr || element->ns->prefix == nullptr ||
      !name.ends_with(local)) {
    return false;
  }
  std::string_view head = name.substr(0, name.size() - local.size());
  if (head.back() != ':') return false;
  head.remove_suffix(1);
  return View(element->ns->prefix).ends_with(head);
}

Element FirstElement(const _xmlDoc* doc, std::string_view name) {
  if (doc == nullptr || !Searchable(name)) return nullptr;
  for (const xmlNode* node = doc->children; node != nullptr;
       node = NextInDocument(node)) {
    if (node->type == XML_ELEMENT_NODE && NameEndsWith(node, name)) {
      return node;
    }
  }
  return nullptr;
}

Element ChildElement(const _xmlDoc* doc, Element parent, std::string_view name,
                     Element after) {
  if (parent == nullptr) return FirstElement(doc, name);
  if (!Searchable(name)) return nullptr;
  for (const xmlNode* node = after != nullptr ? after->next : parent->children;
       node != nullptr; node = node->next) {
    if (node->type == XML_ELEMENT_NODE && NameEndsWith(node, name)) {
      return node;
    }
  }
  return nullptr;
}

Element PathElement(const _xmlDoc* doc, Element start, std::string_view path) {
  if (path.empty()) return nullptr;
  Element current = start;
  while (true) {
    const size_t slash = path.find('/');
    current = ChildElement(doc, current, path.substr(0, slash));
    if (current == nullptr || slash == std::string_view::npos) return current;
    path.remove_prefix(slash + 1);
  }
}

std::string ElementText(Element element, size_t& entity_budget) {
  std::string text;
  if (element == nullptr) return text;
  // Nodes still to visit, the next one last, each marked when it stands in
  // an entity's replacement text.
  std::vector<std::pair<const xmlNode*, bool>> pending;
  auto push_children = [&pending](const xmlNode* last, bool in_entity) {
    for (const xmlNode* node = last; node != nullptr; node = node->prev) {
      pending.emplace_back(node, in_entity);
    }
  };
  auto spend = [&entity_budget](size_t bytes) {
    if (bytes > entity_budget) {
      throw Error(codes::kLoadFileTooLarge, "LoadXml()",
                  "Il testo delle entità del file supera il limite di "
                  "lettura");
    }
    entity_budget -= bytes;
  };
  push_children(element->last, false);
  while (!pending.empty()) {
    const auto [node, in_entity] = pending.back();
    pending.pop_back();
    switch (node->type) {
      case XML_TEXT_NODE:
        if (xmlIsBlankNode(node)) break;
        [[fallthrough]];
      case XML_CDATA_SECTION_NODE: {
        const std::string_view piece = View(node->content);
        if (in_entity) spend(piece.size());
        text.append(piece);
        break;
      }
      case XML_ELEMENT_NODE:
        push_children(node->last, in_entity);
        break;
      case XML_ENTITY_REF_NODE: {
        // Each reference costs at least one byte, so that even entities
        // without text cannot be expanded without end.
        spend(1);
        const xmlEntity* entity = xmlGetDocEntity(node->doc, node->name);
        if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY) {
          push_children(entity->last, true);
        }
        break;
      }
      default:
        break;
    }
  }
  return text;
}

}  // namespace zsepa::status
