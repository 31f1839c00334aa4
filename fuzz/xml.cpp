// The XML helpers: parsing with its limits, walking, reading and escaping.
#include <libxml/tree.h>

#include "fuzz/Harness.h"
#include "util/PrintableText.h"
#include "util/Xml.h"

using namespace quorvane;

namespace {

void Walk(const xmlNode* node, int depth) {
    fuzz::Require(depth <= xml::MaxDepth, "the tree is no deeper than the limit");
    (void)xml::LocalName(node);
    (void)xml::NamespaceOf(node);
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next)
        (void)xml::Attribute(node, reinterpret_cast<const char*>(attribute->name));
    (void)xml::TrimmedText(node);
    for (const xmlNode* child = xml::FirstElementChild(node); child; child = xml::NextElementSibling(child))
        Walk(child, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::Bytes(data, size);
    auto parsed = xml::Parse(bytes);
    fuzz::Require(!parsed.doc == !parsed.error.empty(), "a document or a reason, never both");
    fuzz::Require(PrintableUtf8(parsed.error) == parsed.error, "the reason is printable UTF-8");
    if (parsed.doc)
        Walk(xmlDocGetRootElement(parsed.doc.get()), 1);

    // Escaped UTF-8 always makes a readable document.
    if (PrintableUtf8(bytes) == bytes) {
        const std::string escaped = xml::Escape(bytes);
        auto again = xml::Parse("<r a=\"" + escaped + "\">" + escaped + "</r>");
        fuzz::Require(again.doc != nullptr, "escaped text reads back");
    }
    return 0;
}
