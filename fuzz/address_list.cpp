// The reader of the mail settings' address lists.
#include <stdexcept>

#include "fuzz/Harness.h"
#include "mail/AddressList.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        for (const mail::MailAddress& address : mail::ParseAddressList(fuzz::Bytes(data, size)))
            fuzz::Require(address.Address.size() <= size && address.Name.size() <= size,
                          "no part is longer than the list");
    } catch (const std::runtime_error&) {
    }
    return 0;
}
