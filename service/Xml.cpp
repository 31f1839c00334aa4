#include "service/Xml_p.h"

#include <climits>
#include <mutex>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace quorvane::xml {

namespace {
struct ParserCtxtFree {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};

std::string_view View(const xmlChar* s) {
    return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}
} // namespace

ServiceResult<DocPtr> Parse(std::string_view bytes, const std::string& url, ServiceErrorKind failureKind) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        return MakeError(failureKind, "document too large to parse");
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt)
        return MakeError(failureKind, "out of memory");
    // No NOENT and no DTDLOAD: entities stay unexpanded and nothing outside the bytes is read.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()),
                                 url.empty() ? nullptr : url.c_str(), nullptr, options));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(ctxt.get());
        std::string message = "not well-formed XML";
        if (error && error->message)
            message += " (line " + std::to_string(error->line) + ": " + Trimmed(error->message) + ")";
        return MakeError(failureKind, message);
    }
    if (!xmlDocGetRootElement(doc.get()))
        return MakeError(failureKind, "XML document without a root element");
    return doc;
}

std::string_view LocalName(const xmlNode* node) {
    return View(node->name);
}

std::string_view NamespaceOf(const xmlNode* node) {
    return node->ns ? View(node->ns->href) : std::string_view();
}

bool Is(const xmlNode* node, std::string_view ns, std::string_view localName) {
    return node && node->type == XML_ELEMENT_NODE && LocalName(node) == localName && NamespaceOf(node) == ns;
}

std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value)
        return std::nullopt;
    std::string result(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return result;
}

std::string Text(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    if (!content)
        return {};
    std::string result(reinterpret_cast<const char*>(content));
    xmlFree(content);
    return result;
}

const xmlNode* FirstElementChild(const xmlNode* node) {
    for (const xmlNode* child = node->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            return child;
    return nullptr;
}

const xmlNode* NextElementSibling(const xmlNode* node) {
    for (const xmlNode* next = node->next; next; next = next->next)
        if (next->type == XML_ELEMENT_NODE)
            return next;
    return nullptr;
}

} // namespace quorvane::xml
