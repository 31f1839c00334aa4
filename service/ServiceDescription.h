// Reading a WSDL 1.1 service description: where and how to call one operation of one port.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "service/ServiceResult.h"
#include "util/Xml.h"

namespace quorvane {

inline constexpr std::string_view WsdlNamespace = "http://schemas.xmlsoap.org/wsdl/";
inline constexpr std::string_view WsdlSoapNamespace = "http://schemas.xmlsoap.org/wsdl/soap/";

// What a call needs from the description. Empty soapAction and bodyNamespace mean the binding did not
// give them (or was not found); the caller applies its defaults.
struct OperationBinding {
    std::string endpoint;
    std::string soapAction;
    std::string bodyNamespace;
    bool bindingFound = false;
};

// Loads a document's bytes from an address (http, https or a local file).
using DocumentLoader = std::function<ServiceResult<std::string>(const std::string& address)>;

class ServiceDescription {
public:
    // Loads the description at address and, through loader, every description it imports
    // (wsdl:import locations relative to the importing document). Any failure fails the whole load.
    static ServiceResult<ServiceDescription> Load(const std::string& address, const DocumentLoader& loader);

    // The endpoint, SOAP action and body namespace of operation on the port of service. Service and
    // port are looked up in the description itself first, then in the descriptions it imports; the
    // port's binding is found by qualified name. Fails when the service, the port or the port's
    // SOAP address is missing.
    ServiceResult<OperationBinding> Resolve(std::string_view service, std::string_view port,
                                            std::string_view operation) const;

    std::size_t DocumentCount() const { return documents_.size(); }

private:
    struct Document {
        xml::DocPtr doc;
        std::string address;
        std::string targetNamespace;
    };
    std::vector<Document> documents_; // the description first, then its imports breadth first

    const xmlNode* FindBinding(std::string_view ns, std::string_view name) const;
    static void ReadBinding(const xmlNode* binding, std::string_view operation, OperationBinding& out);
};

} // namespace quorvane
