#include "rated/Xml.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <climits>

namespace quorvane::rated {

namespace {

struct ParserCtxtFree {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};

std::string_view Chars(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

} // namespace

Result<XmlDocPtr> ParseXml(std::string_view bytes) {
    if (bytes.size() > INT_MAX)
        return Error{"document too large"};
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt)
        return Error{"out of memory"};
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    XmlDocPtr doc(xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                    nullptr, options));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(ctxt.get());
        std::string text = "not well-formed XML";
        if (error && error->message) {
            std::string message(Chars(reinterpret_cast<const xmlChar*>(error->message)));
            while (!message.empty() && IsBlank(message.back()))
                message.pop_back();
            text += " (line " + std::to_string(error->line) + ": " + message + ")";
        }
        return Error{text};
    }
    return doc;
}

bool IsElement(const xmlNode* node, std::string_view ns, std::string_view localName) {
    return node && node->type == XML_ELEMENT_NODE && NameOf(node) == localName && NamespaceOf(node) == ns;
}

xmlNode* FirstElementChild(const xmlNode* node) {
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            return child;
    return nullptr;
}

xmlNode* NextElementSibling(const xmlNode* node) {
    for (xmlNode* next = node ? node->next : nullptr; next; next = next->next)
        if (next->type == XML_ELEMENT_NODE)
            return next;
    return nullptr;
}

std::string_view NamespaceOf(const xmlNode* node) {
    return node && node->ns ? Chars(node->ns->href) : std::string_view();
}

std::string_view NameOf(const xmlNode* node) {
    return node ? Chars(node->name) : std::string_view();
}

std::string TrimmedText(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text(Chars(content));
    xmlFree(content);
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool Attribute(const xmlNode* node, const char* name, std::string& value) {
    xmlChar* raw = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!raw)
        return false;
    value = Chars(raw);
    xmlFree(raw);
    return true;
}

std::string EscapeXml(std::string_view text) {
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
            // XML 1.0 has no way to carry other control characters, not even escaped.
            out +=
                (static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') ? '?' : ch;
        }
    }
    return out;
}

} // namespace quorvane::rated
