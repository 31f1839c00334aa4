// Where the rate service's connection loop takes a request to end, among a client's bytes.
#include "fuzz/Harness.h"
#include "rated/RequestFrame.h"

#include <string>

using namespace quorvane;
using State = rated::RequestFrame::State;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::Bytes(data, size);
    const rated::FrameLimits limits{512, 256};
    const rated::RequestFrame frame = rated::FrameRequest(bytes, limits);
    fuzz::Require(frame.length <= bytes.size(), "a frame lies within the bytes");
    fuzz::Require(frame.state == State::Partial || frame.length > 0, "a frame that is answered is not empty");
    fuzz::Require(frame.state != State::Partial || bytes.size() <= limits.maxHead + limits.maxBody,
                  "bytes past the limits are never left waiting for more");
    // More bytes never undo a whole request.
    if (frame.state == State::Whole) {
        const std::string more = std::string(bytes) + "GET / HTTP/1.1\r\n\r\n";
        const rated::RequestFrame again = rated::FrameRequest(more, limits);
        fuzz::Require(again.state == State::Whole && again.length == frame.length,
                      "a whole request ends where it ended before more came");
    }
    return 0;
}
