// Reading a WSDL 1.1 service description: where and how to call one operation of one port.
#pragma once

#include <deque>
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
    // Loads the description at address; its imports are read later, only as far as Resolve needs them.
    // Fails when the description cannot be loaded or is no WSDL 1.1 description.
    static ServiceResult<ServiceDescription> Load(const std::string& address, DocumentLoader loader);

    // The endpoint, SOAP action and body namespace of operation on the port of service. Service, port
    // and binding are looked up in the documents read so far; only a name that is not found there
    // makes the next import be read (wsdl:import locations relative to the importing document,
    // breadth first). An import that cannot be read is passed over, one that is no WSDL is ignored.
    // Blocks for the loader. Fails when the service, the port or the port's SOAP address is missing,
    // naming the import that could not be read, if any; such imports are tried again by the next call.
    ServiceResult<OperationBinding> Resolve(std::string_view service, std::string_view port,
                                            std::string_view operation);

    std::size_t DocumentCount() const { return documents_.size(); }

private:
    struct Document {
        xml::DocPtr doc;
        std::string address;
        std::string targetNamespace;
    };
    DocumentLoader loader_;
    std::vector<Document> documents_; // the description first, then the imports read, breadth first
    std::vector<std::string> seen_;   // every location met: the description and its imports
    std::deque<std::string> unread_;  // imports still to read, in order
    std::vector<std::string> failed_; // imports that could not be read, tried again by the next Resolve
    std::string importProblem_;       // why the first of them was passed over
    std::string refusedImport_;       // the first import a network description made of a local file

    void NoteImports(const Document& document);
    bool ReadNextImport();
    // documents_[index], reading imports until there is one; nullptr when there are no more.
    const Document* DocumentAt(std::size_t index);
    ServiceError NotFound(std::string text) const;
    const xmlNode* FindBinding(std::string_view ns, std::string_view name);
    static void ReadBinding(const xmlNode* binding, std::string_view operation, OperationBinding& out);
};

} // namespace quorvane
