#include "util/Xml.h"
#include "util/Text.h"

#include <climits>
#include <mutex>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace quorvane::xml {

namespace {

struct ParserCtxtFree {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};

std::string_view Chars(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

std::string TrimmedEnd(std::string text) {
    text.erase(text.find_last_not_of(SpaceTabCrLf) + 1);
    return text;
}

ParseResult Failure(std::string error) {
    return {nullptr, std::move(error)};
}

} // namespace

ParseResult Parse(std::string_view bytes, const std::string& url) {
    // libxml2 2.9 wants its globals set up once before threads parse at the same time.
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        return Failure("document too large to parse");
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt)
        return Failure("out of memory");
    // No NOENT and no DTDLOAD: entities stay unexpanded and nothing outside the bytes is read.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()),
                                 url.empty() ? nullptr : url.c_str(), nullptr, options));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(ctxt.get());
        std::string message = "not well-formed XML";
        if (error && error->message)
            message += " (line " + std::to_string(error->line) + ": " + TrimmedEnd(error->message) + ")";
        return Failure(std::move(message));
    }
    if (!xmlDocGetRootElement(doc.get()))
        return Failure("XML document without a root element");
    return {std::move(doc), {}};
}

std::string_view LocalName(const xmlNode* node) {
    return node ? Chars(node->name) : std::string_view();
}

std::string_view NamespaceOf(const xmlNode* node) {
    return node && node->ns ? Chars(node->ns->href) : std::string_view();
}

bool IsElement(const xmlNode* node, std::string_view ns, std::string_view localName) {
    return node && node->type == XML_ELEMENT_NODE && LocalName(node) == localName && NamespaceOf(node) == ns;
}

const xmlNode* FirstElementChild(const xmlNode* node) {
    for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            return child;
    return nullptr;
}

const xmlNode* NextElementSibling(const xmlNode* node) {
    for (const xmlNode* next = node ? node->next : nullptr; next; next = next->next)
        if (next->type == XML_ELEMENT_NODE)
            return next;
    return nullptr;
}

std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = node ? xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name)) : nullptr;
    if (!value)
        return std::nullopt;
    std::string result(Chars(value));
    xmlFree(value);
    return result;
}

std::string Text(const xmlNode* node) {
    xmlChar* content = node ? xmlNodeGetContent(node) : nullptr;
    std::string result(Chars(content));
    xmlFree(content);
    return result;
}

std::string TrimmedText(const xmlNode* node) {
    return std::string(TrimBlanks(Text(node)));
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out +=
                (static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') ? '?' : ch;
        }
    }
    return out;
}

} // namespace quorvane::xml
