// Small libxml2 helpers shared by the message reader and the description reader.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <libxml/tree.h>

#include "service/ServiceResult.h"

namespace quorvane::xml {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

// Parses bytes whose own declaration or byte order mark decides the encoding. No network access,
// no external entities. url only names the document in messages and resolves relative imports.
ServiceResult<DocPtr> Parse(std::string_view bytes, const std::string& url, ServiceErrorKind failureKind);

std::string_view LocalName(const xmlNode* node);
std::string_view NamespaceOf(const xmlNode* node);
bool Is(const xmlNode* node, std::string_view ns, std::string_view localName);

// The attribute without a namespace, or nothing when absent.
std::optional<std::string> Attribute(const xmlNode* node, const char* name);

// Concatenated text of the node and its descendants.
std::string Text(const xmlNode* node);

const xmlNode* FirstElementChild(const xmlNode* node);
const xmlNode* NextElementSibling(const xmlNode* node);

} // namespace quorvane::xml
