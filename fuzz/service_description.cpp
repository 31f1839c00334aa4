// The service description reader. The input holds the description and, after each NUL byte, the next
// document an import asks for.
#include <vector>

#include "fuzz/Harness.h"
#include "service/CurrencyConvertor.h"
#include "service/ServiceDescription.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> documents;
    std::string_view rest = fuzz::Bytes(data, size);
    for (;;) {
        const std::size_t nul = rest.find('\0');
        documents.emplace_back(rest.substr(0, nul));
        if (nul == std::string_view::npos)
            break;
        rest.remove_prefix(nul + 1);
    }
    std::size_t next = 0;
    const auto loader = [&](const std::string& address) -> ServiceResult<std::string> {
        fuzz::Require(address.rfind("http", 0) == 0, "a network description imports from the network only");
        if (next >= documents.size())
            return MakeError(ServiceErrorKind::Network, "no such document");
        return documents[next++];
    };
    auto description = ServiceDescription::Load("http://127.0.0.1/d/CurrencyConvertor.asmx?wsdl", loader);
    if (!description)
        return 0;
    const auto binding = description.value().Resolve(ServiceName, PortName, OperationName);
    if (binding)
        fuzz::Require(!binding.value().endpoint.empty(), "a resolved port has an endpoint");
    return 0;
}
