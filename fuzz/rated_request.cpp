// The rate service's request reader, and the fault it answers a bad request with.
#include "fuzz/Harness.h"
#include "rated/SoapMessages.h"
#include "util/PrintableText.h"
#include "util/Xml.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto request = rated::ReadConversionRequest(fuzz::Bytes(data, size));
    if (request)
        return 0;
    const std::string fault = rated::WriteFault(request.error());
    fuzz::Require(PrintableUtf8(fault) == fault, "a fault is printable UTF-8");
    fuzz::Require(xml::Parse(fault).doc != nullptr, "a fault is well-formed XML");
    return 0;
}
