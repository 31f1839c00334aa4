#include "util/Xml.h"
#include "util/Text.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include <libxml/parser.h>
#include <libxml/SAX2.h>
#include <libxml/xmlerror.h>

#include "util/PrintableText.h"

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

ParseResult Failure(ParseFailure failure, std::string error) {
    return {nullptr, std::move(error), failure};
}

// What one parse has seen, reached from the parser context.
struct ParseState {
    int depth = 0;
    std::size_t elements = 0;
    ParseFailure refused = ParseFailure::None;
    std::string firstMessage; // the first message of libxml2, for errors it keeps no record of
};

ParseState& StateOf(void* ctx) {
    return *static_cast<ParseState*>(static_cast<xmlParserCtxt*>(ctx)->_private);
}

void Refuse(void* ctx, ParseFailure why) {
    StateOf(ctx).refused = why;
    xmlStopParser(static_cast<xmlParserCtxt*>(ctx));
}

// The one handler of libxml2's messages: they are kept for the reason, never printed.
void OnLibxmlError(void* ctx, xmlError* error) {
    if (!ctx || !error || !error->message)
        return;
    ParseState& state = StateOf(ctx);
    if (state.firstMessage.empty())
        state.firstMessage = error->message;
}

// Messages libxml2 sends without a context (character conversion) come here; ctx is ours.
void OnLibxmlGenericError(void* ctx, const char* format, ...) {
    if (!ctx || !format)
        return;
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    xmlError error{};
    error.message = text;
    OnLibxmlError(ctx, &error);
}

// SOAP 1.1 forbids a document type in a message, and none of our documents needs one: refusing it
// before its internal subset is read means no entity can be declared, so none can be expanded.
void OnInternalSubset(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Refuse(ctx, ParseFailure::DocumentType);
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaulted,
                    const xmlChar** attributes) {
    ParseState& state = StateOf(ctx);
    if (++state.depth > MaxDepth)
        return Refuse(ctx, ParseFailure::TooDeep);
    if (++state.elements > MaxElements)
        return Refuse(ctx, ParseFailure::TooLarge);
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, namespaceCount, namespaces, attributeCount, defaulted,
                          attributes);
}

void OnEndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
    --StateOf(ctx).depth;
    xmlSAX2EndElementNs(ctx, localname, prefix, uri);
}

std::string RefusalText(ParseFailure why) {
    switch (why) {
    case ParseFailure::DocumentType:
        return "XML with a document type declaration, which is refused";
    case ParseFailure::TooDeep:
        return "XML nested deeper than " + std::to_string(MaxDepth) + " elements";
    case ParseFailure::TooLarge:
        return "XML with more than " + std::to_string(MaxElements) + " elements";
    default:
        return "not well-formed XML";
    }
}

// Routes every message libxml2 gives on this thread to OnLibxmlError with this parse as its context,
// and back to nothing when the parse is over.
class ErrorRoute {
public:
    explicit ErrorRoute(xmlParserCtxt* ctxt) {
        xmlSetStructuredErrorFunc(ctxt, OnLibxmlError);
        xmlSetGenericErrorFunc(ctxt, OnLibxmlGenericError);
    }
    ~ErrorRoute() {
        xmlSetStructuredErrorFunc(nullptr, OnLibxmlError);
        xmlSetGenericErrorFunc(nullptr, OnLibxmlGenericError);
    }
    ErrorRoute(const ErrorRoute&) = delete;
    ErrorRoute& operator=(const ErrorRoute&) = delete;
};

} // namespace

ParseResult Parse(std::string_view bytes, const std::string& url) {
    // libxml2 2.9 wants its globals set up once before threads parse at the same time.
    static std::once_flag initialised;
    std::call_once(initialised, [] {
        xmlInitParser();
        xmlThrDefSetStructuredErrorFunc(nullptr, OnLibxmlError);
        xmlThrDefSetGenericErrorFunc(nullptr, OnLibxmlGenericError);
    });

    if (bytes.size() > MaxDocumentBytes)
        return Failure(ParseFailure::TooLarge,
                       "XML document larger than " + std::to_string(MaxDocumentBytes) + " bytes");
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt || !ctxt->sax)
        return Failure(ParseFailure::NotWellFormed, "out of memory");
    ParseState state;
    ctxt->_private = &state;
    ctxt->sax->internalSubset = OnInternalSubset;
    ctxt->sax->startElementNs = OnStartElement;
    ctxt->sax->endElementNs = OnEndElement;
    ctxt->sax->serror = OnLibxmlError;
    ErrorRoute route(ctxt.get());

    // No NOENT and no DTDLOAD: entities stay unexpanded and nothing outside the bytes is read.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()),
                                 url.empty() ? nullptr : url.c_str(), nullptr, options));
    if (state.refused != ParseFailure::None)
        return Failure(state.refused, RefusalText(state.refused));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(ctxt.get());
        std::string message = "not well-formed XML";
        if (error && error->message)
            message += " (line " + std::to_string(error->line) + ": " + TrimmedEnd(error->message) + ")";
        else if (!state.firstMessage.empty())
            message += " (" + TrimmedEnd(state.firstMessage) + ")";
        return Failure(ParseFailure::NotWellFormed, PrintableUtf8(message));
    }
    if (!xmlDocGetRootElement(doc.get()))
        return Failure(ParseFailure::NoRoot, "XML document without a root element");
    return {std::move(doc), {}, ParseFailure::None};
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
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        // U+FFFE and U+FFFF are no XML characters either.
        if (ch == '\xEF' && text.substr(i + 1, 1) == "\xBF" && i + 2 < text.size() &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            out += '?';
            i += 2;
            continue;
        }
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
