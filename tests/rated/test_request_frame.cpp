// Where a request ends among a connection's bytes: the connection loop answers nothing before it.
#include <gtest/gtest.h>

#include "rated/RequestFrame.h"

using namespace quorvane::rated;
using State = RequestFrame::State;

namespace {

const std::string Head = "POST /CurrencyConvertor.asmx HTTP/1.1\r\nHost: x\r\n";

} // namespace

TEST(RequestFrame, EndsWhereTheHeadersSayTheBodyEnds) {
    const FrameLimits limits{256, 64};
    const std::string chunked = Head + "Transfer-Encoding: chunked\r\n\r\n";
    const std::string sized = Head + "content-length: 5\r\n\r\n";
    const struct {
        const char* what;
        std::string bytes;
        State state;
        std::size_t length;
    } cases[] = {
        {"headers not ended", Head, State::Partial, 0},
        {"no length, no body", Head + "\r\n", State::Whole, Head.size() + 2},
        {"length in any case, body short", sized + "abcd", State::Partial, 0},
        {"length met", sized + "abcde", State::Whole, sized.size() + 5},
        {"the next request is not this one's", sized + "abcdeGET / HTTP/1.1\r\n\r\n", State::Whole,
         sized.size() + 5},
        {"the first of two lengths counts", Head + "Content-Length: 1\r\nContent-Length: 9\r\n\r\nxGET",
         State::Whole, Head.size() + 41},
        {"length over the limit", Head + "Content-Length: 65\r\n\r\nab", State::Refused, Head.size() + 24},
        {"negative length", Head + "Content-Length: -1\r\n\r\n", State::Refused, Head.size() + 22},
        {"chunks not ended", chunked + "3\r\nabc\r\n", State::Partial, 0},
        {"chunk data short", chunked + "a\r\nabc", State::Partial, 0},
        {"chunks ended", chunked + "3\r\nabc\r\n2;ext=1\r\nde\r\n0\r\n\r\nnext", State::Whole,
         chunked.size() + 26},
        {"chunk size not hex", chunked + "zz\r\nabc\r\n", State::Refused, chunked.size() + 9},
        {"chunk without its line end", chunked + "3\r\nabcX\r\n", State::Refused, chunked.size() + 9},
        {"chunks that outgrow the limits", chunked + "fff\r\n" + std::string(400, 'a'), State::Refused,
         chunked.size() + 405},
        {"a coding we do not take", Head + "Transfer-Encoding: gzip\r\n\r\nxx", State::Refused,
         Head.size() + 27},
        {"headers past the limit", Head + "X: " + std::string(300, 'a'), State::Refused, Head.size() + 303},
    };
    for (const auto& c : cases) {
        const RequestFrame frame = FrameRequest(c.bytes, limits);
        EXPECT_EQ(frame.state, c.state) << c.what;
        EXPECT_EQ(frame.length, c.length) << c.what;
    }
}

TEST(RequestFrame, TellsWhenTheClientWaitsToBeToldToGoOn) {
    const std::string head = Head + "Expect: 100-continue\r\nContent-Length: 4\r\n\r\n";
    EXPECT_TRUE(FrameRequest(head, {}).expectsContinue);
    EXPECT_EQ(FrameRequest(head + "body", {}).state, State::Whole);
    EXPECT_FALSE(FrameRequest(Head + "Content-Length: 4\r\n\r\n", {}).expectsContinue);
}
