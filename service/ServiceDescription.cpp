#include "service/ServiceDescription.h"
#include "util/Text.h"

#include <algorithm>
#include <cctype>

#include <libxml/uri.h>

namespace quorvane {

namespace {

// Enough for any sane chain of imports; stops import cycles and runaway descriptions.
constexpr std::size_t MaxDocuments = 32;

const xmlNode* Root(const xml::DocPtr& doc) {
    return xmlDocGetRootElement(doc.get());
}

template <class F> void ForEachWsdlChild(const xmlNode* parent, std::string_view localName, F&& f) {
    for (const xmlNode* child = xml::FirstElementChild(parent); child; child = xml::NextElementSibling(child))
        if (xml::IsElement(child, WsdlNamespace, localName))
            f(child);
}

const xmlNode* FindNamedChild(const xmlNode* parent, std::string_view ns, std::string_view localName,
                              std::string_view name) {
    for (const xmlNode* child = xml::FirstElementChild(parent); child; child = xml::NextElementSibling(child))
        if (xml::IsElement(child, ns, localName) && xml::Attribute(child, "name") == name)
            return child;
    return nullptr;
}

const xmlNode* FindChild(const xmlNode* parent, std::string_view ns, std::string_view localName) {
    for (const xmlNode* child = xml::FirstElementChild(parent); child; child = xml::NextElementSibling(child))
        if (xml::IsElement(child, ns, localName))
            return child;
    return nullptr;
}

std::string ResolveAddress(const std::string& location, const std::string& base) {
    xmlChar* built = xmlBuildURI(reinterpret_cast<const xmlChar*>(location.c_str()),
                                 reinterpret_cast<const xmlChar*>(base.c_str()));
    if (!built)
        return location;
    std::string result(reinterpret_cast<const char*>(built));
    xmlFree(built);
    return result;
}

struct QName {
    std::string ns;
    std::string local;
};

// A prefixed name takes the namespace its prefix is bound to where it is written; an unprefixed
// one stands for the description's target namespace.
std::optional<QName> ReadQName(const xmlNode* node, const std::string& value,
                               const std::string& targetNamespace) {
    const auto colon = value.find(':');
    if (colon == std::string::npos)
        return QName{targetNamespace, value};
    const std::string prefix = value.substr(0, colon);
    const xmlNs* ns =
        xmlSearchNs(node->doc, const_cast<xmlNode*>(node), reinterpret_cast<const xmlChar*>(prefix.c_str()));
    if (!ns || !ns->href)
        return std::nullopt;
    return QName{reinterpret_cast<const char*>(ns->href), value.substr(colon + 1)};
}

} // namespace

ServiceResult<ServiceDescription> ServiceDescription::Load(const std::string& address,
                                                           const DocumentLoader& loader) {
    ServiceDescription description;
    std::vector<std::string> pending{address};
    std::vector<std::string> seen{address};
    for (std::size_t next = 0; next < pending.size(); ++next) {
        const std::string current = pending[next];
        auto bytes = loader(current);
        if (!bytes)
            return bytes.error();
        auto parsed = xml::Parse(bytes.value(), current);
        if (!parsed.doc)
            return MakeError(ServiceErrorKind::Description, current + ": " + parsed.error);
        const xmlNode* root = Root(parsed.doc);
        if (!xml::IsElement(root, WsdlNamespace, "definitions"))
            return MakeError(ServiceErrorKind::Description, current + ": not a WSDL 1.1 description");

        std::string refused;
        ForEachWsdlChild(root, "import", [&](const xmlNode* import) {
            const auto location = xml::Attribute(import, "location");
            if (!location || location->empty())
                return;
            std::string resolved = ResolveAddress(std::string(TrimBlanks(*location)), current);
            // A description from the network must not make us read the user's files.
            if (IsHttpAddress(current) && !IsHttpAddress(resolved)) {
                refused = resolved;
                return;
            }
            if (std::find(seen.begin(), seen.end(), resolved) == seen.end()) {
                seen.push_back(resolved);
                pending.push_back(std::move(resolved));
            }
        });
        if (!refused.empty())
            return MakeError(ServiceErrorKind::Description,
                             current + " imports " + refused + ", which is no http or https address");
        if (pending.size() > MaxDocuments)
            return MakeError(ServiceErrorKind::Description,
                             "more than " + std::to_string(MaxDocuments) + " imported descriptions");
        description.documents_.push_back(
            Document{std::move(parsed.doc), current, xml::Attribute(root, "targetNamespace").value_or("")});
    }
    return description;
}

const xmlNode* ServiceDescription::FindBinding(std::string_view ns, std::string_view name) const {
    for (const Document& document : documents_) {
        if (document.targetNamespace != ns)
            continue;
        if (const xmlNode* binding = FindNamedChild(Root(document.doc), WsdlNamespace, "binding", name))
            return binding;
    }
    return nullptr;
}

void ServiceDescription::ReadBinding(const xmlNode* binding, std::string_view operation,
                                     OperationBinding& out) {
    const xmlNode* op = FindNamedChild(binding, WsdlNamespace, "operation", operation);
    if (!op)
        return;
    if (const xmlNode* soapOperation = FindChild(op, WsdlSoapNamespace, "operation"))
        out.soapAction = xml::Attribute(soapOperation, "soapAction").value_or("");
    if (const xmlNode* input = FindChild(op, WsdlNamespace, "input"))
        if (const xmlNode* body = FindChild(input, WsdlSoapNamespace, "body"))
            out.bodyNamespace = xml::Attribute(body, "namespace").value_or("");
}

ServiceResult<OperationBinding> ServiceDescription::Resolve(std::string_view service, std::string_view port,
                                                            std::string_view operation) const {
    // Both names are unprefixed, so in each description they stand for its own target namespace:
    // matching the local name within one description is matching the qualified name.
    const xmlNode* portNode = nullptr;
    const Document* portDocument = nullptr;
    bool serviceSeen = false;
    for (const Document& document : documents_) {
        ForEachWsdlChild(Root(document.doc), "service", [&](const xmlNode* candidate) {
            if (portNode || xml::Attribute(candidate, "name") != service)
                return;
            serviceSeen = true;
            portNode = FindNamedChild(candidate, WsdlNamespace, "port", port);
        });
        if (portNode) {
            portDocument = &document;
            break;
        }
    }
    if (!serviceSeen)
        return MakeError(ServiceErrorKind::Description,
                         "no service " + std::string(service) + " in the description");
    if (!portNode)
        return MakeError(ServiceErrorKind::Description,
                         "no port " + std::string(port) + " in service " + std::string(service));

    OperationBinding result;
    const xmlNode* address = FindChild(portNode, WsdlSoapNamespace, "address");
    result.endpoint = address ? std::string(TrimBlanks(xml::Attribute(address, "location").value_or(""))) : "";
    if (result.endpoint.empty())
        return MakeError(ServiceErrorKind::Description,
                         "port " + std::string(port) + " has no SOAP address location");

    if (const auto bindingName = xml::Attribute(portNode, "binding")) {
        if (const auto qname = ReadQName(portNode, *bindingName, portDocument->targetNamespace)) {
            if (const xmlNode* binding = FindBinding(qname->ns, qname->local)) {
                result.bindingFound = true;
                ReadBinding(binding, operation, result);
            }
        }
    }
    return result;
}

} // namespace quorvane
