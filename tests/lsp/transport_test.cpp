#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lsp/protocol.h"
#include "lsp/transport.h"

namespace {

using Status = lsp::MessageReader::Status;

/// Hands out a string's bytes, at most `chunk` at a time.
class StringSource final : public lsp::ByteSource {
public:
    StringSource(std::string bytes, std::size_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
    std::size_t read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min({size, chunk_, bytes_.size() - at_});
        bytes_.copy(buffer, count, at_);
        at_ += count;
        return count;
    }

private:
    std::string bytes_;
    std::size_t chunk_;
    std::size_t at_ = 0;
};

/// What a reader makes of `input`: each body, "!" for a skipped header, to the end.
std::vector<std::string> framesOf(const std::string& input, std::size_t chunk) {
    StringSource source(input, chunk);
    lsp::MessageReader reader(source);
    std::vector<std::string> frames;
    for (;;) {
        lsp::MessageReader::Frame frame = reader.next();
        if (frame.status == Status::End) return frames;
        frames.push_back(frame.status == Status::BadHeader ? "!" : frame.body);
    }
}

std::string framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

// A message is a header block with its Content-Length, a blank line, and that many bytes. A
// header block without a usable length is skipped up to the next Content-Length; a message cut
// short ends the input.
TEST(Transport, Framing) {
    const std::string big(200'000, 'x');
    const struct {
        std::string input;
        std::vector<std::string> frames;
    } rows[] = {
        {"", {}},
        {framed("{}"), {"{}"}},
        {framed("{}") + framed("[1]"), {"{}", "[1]"}},
        {framed(""), {""}},
        {framed(big), {big}},
        {"content-length:2\n\n{}", {"{}"}},  // any case, bare line feeds, no blank
        {"Content-Type: x\r\nContent-Length: 2\r\n\r\n{}", {"{}"}},
        {"\r\n\r\n" + framed("{}"), {"{}"}},  // blank lines between messages
        {"Content-Length: 2\r\nContent-Length: 3\r\n\r\n{1}", {"{1}"}},  // the last one counts
        {"Content-Length: x\r\n\r\n{}" + framed("7"), {"!", "7"}},
        {"Content-Length: -1\r\n\r\n" + framed("7"), {"!", "7"}},
        {"Content-Length: 2 2\r\n\r\n" + framed("7"), {"!", "7"}},
        {"Content-Length: 99999999999999999999\r\n\r\n" + framed("7"), {"!", "7"}},
        {"Content-Length: 1073741825\r\n\r\n" + framed("7"), {"!", "7"}},
        {"Content-Type: x\r\n\r\n{}" + framed("7"), {"!", "7"}},
        {"garbage\r\n\r\n" + framed("7"), {"!", "7"}},
        {"{\"no\":\"header\"}" + framed("7"), {"!", "7"}},
        {std::string(9000, 'h') + "\r\n" + framed("7"), {"!", "7"}},
        {std::string(20000, 'h') + framed("7"), {"!", "7"}},
        {"Content-Length: 5\r\n\r\n{}", {}},  // cut short
        {"Content-Length: 5\r\n", {}},
        {"Content-Len", {}},
    };
    for (const auto& row : rows) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            EXPECT_EQ(framesOf(row.input, chunk), row.frames)
                << testing::PrintToString(row.input.substr(0, 80)) << " in chunks of " << chunk;
        }
    }
}

// The writer frames each body whole; the reader takes back what it wrote.
TEST(Transport, WriterAndReaderAgree) {
    struct Collect final : lsp::ByteSink {
        std::string bytes;
        void write(std::string_view more) override { bytes += more; }
    } sink;
    lsp::MessageWriter writer(sink);
    const std::vector<std::string> bodies = {"{}", "", "{\"a\":\"\xC3\xA9\"}",
                                             std::string(70000, 'y')};
    for (const std::string& body : bodies) writer.write(body);
    EXPECT_EQ(framesOf(sink.bytes, 5), bodies);
}

// JSON-RPC: a body is one message; what cannot be one is refused with the error a client gets.
TEST(Protocol, ReadingMessages) {
    using lsp::ErrorCode;
    using Kind = lsp::Message::Kind;
    const struct {
        std::string body;
        Kind kind;
        std::optional<ErrorCode> error;
        lsp::RequestId id;
    } rows[] = {
        {R"({"jsonrpc":"2.0","id":1,"method":"m"})", Kind::Request, {}, std::int64_t{1}},
        {R"({"jsonrpc":"2.0","id":"x","method":"m","params":[]})", Kind::Request, {}, "x"},
        {R"({"jsonrpc":"2.0","method":"m","params":{}})", Kind::Notification, {}, {}},
        {R"({"jsonrpc":"2.0","id":3,"result":null})", Kind::Response, {}, std::int64_t{3}},
        {R"({"jsonrpc":"2.0","id":-4,"method":"m"})", Kind::Request, {}, std::int64_t{-4}},
        {R"({"jsonrpc":"2.0","id":5,"method":"m","params":null})",
         Kind::Request,
         {},
         std::int64_t{5}},
        {R"({"jsonrpc":"2.0","method":"m","params":null})", Kind::Notification, {}, {}},
        {"{", Kind::Request, ErrorCode::ParseError, {}},
        {"", Kind::Request, ErrorCode::ParseError, {}},
        {"{} {}", Kind::Request, ErrorCode::ParseError, {}},
        {R"({"a":1e999})", Kind::Request, ErrorCode::ParseError, {}},
        {"{\"a\":\"\xFF\"", Kind::Request, ErrorCode::ParseError, {}},
        {"[]", Kind::Request, ErrorCode::InvalidRequest, {}},
        {"7", Kind::Request, ErrorCode::InvalidRequest, {}},
        {R"({"id":1,"method":"m"})", Kind::Request, ErrorCode::InvalidRequest, std::int64_t{1}},
        {R"({"jsonrpc":"1.0","id":1,"method":"m"})", Kind::Request, ErrorCode::InvalidRequest,
         std::int64_t{1}},
        {R"({"jsonrpc":"2.0","id":2,"method":7})", Kind::Request, ErrorCode::InvalidRequest,
         std::int64_t{2}},
        {R"({"jsonrpc":"2.0","id":2,"method":"m","params":3})", Kind::Request,
         ErrorCode::InvalidRequest, std::int64_t{2}},
        {R"({"jsonrpc":"2.0","id":2,"method":"m","params":"x"})", Kind::Request,
         ErrorCode::InvalidRequest, std::int64_t{2}},
        {R"({"jsonrpc":"2.0","id":2,"method":"m","params":false})", Kind::Request,
         ErrorCode::InvalidRequest, std::int64_t{2}},
        {R"({"jsonrpc":"2.0","id":1.5,"method":"m"})",
         Kind::Request,
         ErrorCode::InvalidRequest,
         {}},
        {R"({"jsonrpc":"2.0","id":{"a":[]},"method":"m"})",
         Kind::Request,
         ErrorCode::InvalidRequest,
         {}},
        {R"({"jsonrpc":"2.0","id":18446744073709551615,"method":"m"})",
         Kind::Request,
         ErrorCode::InvalidRequest,
         {}},
        {R"({"jsonrpc":"2.0"})", Kind::Request, ErrorCode::InvalidRequest, {}},
    };
    for (const auto& row : rows) {
        lsp::RequestId id;
        try {
            const lsp::Message message = lsp::readMessage(lsp::parseBody(row.body), id);
            EXPECT_FALSE(row.error) << row.body;
            EXPECT_EQ(message.kind, row.kind) << row.body;
            EXPECT_EQ(message.id, row.id) << row.body;
        } catch (const lsp::RpcError& error) {
            EXPECT_EQ(std::optional(error.code()), row.error) << row.body;
            EXPECT_EQ(id, row.id) << row.body;
        }
    }
}

// Bytes that are not UTF-8 inside a string come through as they were, and so does the
// noncharacter that stands for them while the body is parsed.
TEST(Protocol, BytesThatAreNotUtf8) {
    const std::string rows[] = {
        "caf\xE9",  "\xFF\xFE", "\xEF\xB7\x90 and \xE9", "\xEF\xB7\x90\xEF\xB7\x90\xC3\xA9\x80",
        "\xE2\x82",
    };
    for (const std::string& text : rows) {
        const lsp::Json body = lsp::parseBody("{\"t\":[\"" + text + "\"]}");
        EXPECT_EQ(body["t"][0].get<std::string>(), text) << testing::PrintToString(text);
    }
}

// Nesting a client may send does not break the parse or its value's destruction.
TEST(Protocol, DeepBodies) {
    const std::size_t depth = 1'000'000;
    const std::string body = std::string(depth, '[') + std::string(depth, ']');
    lsp::RequestId id;
    EXPECT_THROW(lsp::readMessage(lsp::parseBody(body), id), lsp::RpcError);
}
