// Xml: the small libxml2 helpers the rate service reads and writes its documents with.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

#include "rated/Result.h"

namespace quorvane::rated {

struct XmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses bytes without touching the network and without expanding entities; the error names the line.
Result<XmlDocPtr> ParseXml(std::string_view bytes);

// True when node is an element with this local name in this namespace (empty ns: no namespace).
bool IsElement(const xmlNode* node, std::string_view ns, std::string_view localName);

// The first element child of node, or nullptr.
xmlNode* FirstElementChild(const xmlNode* node);
xmlNode* NextElementSibling(const xmlNode* node);

// The namespace URI of node, empty when it has none.
std::string_view NamespaceOf(const xmlNode* node);
std::string_view NameOf(const xmlNode* node);

// The text content of node, trimmed of surrounding XML blanks.
std::string TrimmedText(const xmlNode* node);

// The value of an attribute without namespace, or nullopt-like empty flag.
bool Attribute(const xmlNode* node, const char* name, std::string& value);

// text escaped for element content and attribute values in double quotes.
std::string EscapeXml(std::string_view text);

} // namespace quorvane::rated
