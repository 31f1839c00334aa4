// RequestFrame: where the first HTTP/1.1 request among a connection's received bytes ends, so that the
// connection loop hands the HTTP parser whole requests only and never waits inside it.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvane::rated {

struct FrameLimits {
    std::size_t maxHead = 16 * 1024; // the request line and the headers
    std::size_t maxBody = 64 * 1024;
};

struct RequestFrame {
    enum class State {
        Partial, // more bytes must come
        Whole,   // the request is bytes [0, length)
        Refused, // bytes [0, length) go to the parser, which refuses them, and the connection ends: a
                 // body declared over the limit, a request that outgrew the limits, or broken chunks
    };
    State state = State::Partial;
    std::size_t length = 0;
    bool expectsContinue = false; // the client waits for "100 Continue" before it sends the body
};

// Frames by Content-Length or chunked Transfer-Encoding, as RFC 9112 6.3 has it; a request with neither
// has no body. Header names compare without case; the first of repeated headers counts.
RequestFrame FrameRequest(std::string_view bytes, const FrameLimits& limits);

} // namespace quorvane::rated
