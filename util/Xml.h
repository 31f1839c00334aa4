// Xml: the small libxml2 helpers the rate service and its client read and write their documents with.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <libxml/tree.h>

namespace quorvane::xml {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

// Why bytes are not a document, for callers that answer differently to a refused document type.
enum class ParseFailure { None, NotWellFormed, DocumentType, TooLarge, TooDeep, NoRoot };

// A parsed document with a root element, or why the bytes are none: doc is null exactly when error
// holds the reason, such as "not well-formed XML (line 3: ...)". The reason is valid UTF-8 without
// control characters, whatever the bytes held.
struct ParseResult {
    DocPtr doc;
    std::string error;
    ParseFailure failure = ParseFailure::None;
};

// What one document may cost: no entity is ever expanded, so the tree grows with the bytes only.
inline constexpr std::size_t MaxDocumentBytes = 16u << 20;
inline constexpr int MaxDepth = 64;
inline constexpr std::size_t MaxElements = 250'000;

// Parses bytes whose own declaration or byte order mark decides the encoding. A document type
// declaration is refused as soon as it starts, so no entity is declared, read or expanded; nothing is
// read from the network or from outside the bytes; documents over the limits above fail. libxml2's
// own messages go to the returned reason and nowhere else. url only names the document and is the
// base of its relative references; empty for none.
ParseResult Parse(std::string_view bytes, const std::string& url = {});

// The local name and the namespace URI of node; empty for a null node or no namespace.
std::string_view LocalName(const xmlNode* node);
std::string_view NamespaceOf(const xmlNode* node);

// True when node is an element with this local name in this namespace (empty ns: no namespace).
bool IsElement(const xmlNode* node, std::string_view ns, std::string_view localName);

// The first element child of node and the next element after node, or nullptr.
const xmlNode* FirstElementChild(const xmlNode* node);
const xmlNode* NextElementSibling(const xmlNode* node);

// The value of the attribute without a namespace, or nothing when node does not have it.
std::optional<std::string> Attribute(const xmlNode* node, const char* name);

// The concatenated text of node and its descendants; TrimmedText without surrounding XML blanks.
std::string Text(const xmlNode* node);
std::string TrimmedText(const xmlNode* node);

// text escaped for element content and for attribute values in either kind of quotes. Control
// characters, U+FFFE and U+FFFF, which XML 1.0 cannot carry, not even escaped, become '?'.
std::string Escape(std::string_view text);

} // namespace quorvane::xml
