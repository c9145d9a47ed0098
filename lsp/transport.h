#pragma once

// The transport: messages framed by a Content-Length header, one JSON text each. It knows bytes
// only; what the bodies say is the protocol's business.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace lsp {

/// Where the client's bytes come from.
class ByteSource {
public:
    virtual ~ByteSource();
    /// Reads at most `size` bytes into `buffer`, waiting for at least one; 0 at the end.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

/// Where the server's bytes go.
class ByteSink {
public:
    virtual ~ByteSink();
    /// Writes all of `bytes` and hands them on; raises if it cannot.
    virtual void write(std::string_view bytes) = 0;
};

/// Takes framed messages off a byte source, one at a time.
class MessageReader {
public:
    enum class Status { Message, BadHeader, End };
    struct Frame {
        Status status = Status::End;
        std::string body;     // a message's body
        std::string problem;  // what was wrong with a header
    };

    /// The largest body and header line taken; a header that announces more is refused.
    static constexpr std::uint64_t kMaxBody = std::uint64_t{1} << 30;
    static constexpr std::size_t kMaxHeaderLine = 8192;

    explicit MessageReader(ByteSource& source) : source_(source) {}

    /// The next message's body; or BadHeader for a header block without a usable
    /// Content-Length, after which reading goes on at the next Content-Length header; or End
    /// when the source ends, a message cut short included.
    Frame next();

private:
    /// Reads more bytes into the buffer; false at the end of the source.
    bool fill();
    /// The next header line without its line break, or false at the end.
    bool line(std::string& out, bool& tooLong);
    /// Skips to the next "Content-Length:"; false at the end.
    bool resynchronize();

    ByteSource& source_;
    std::string buffer_;
    std::size_t pos_ = 0;  // the first byte of buffer_ not taken yet
    bool resync_ = false;
};

/// Writes framed messages, each whole, from any thread.
class MessageWriter {
public:
    explicit MessageWriter(ByteSink& sink) : sink_(sink) {}

    void write(std::string_view body);

private:
    ByteSink& sink_;
    std::mutex mutex_;
};

}  // namespace lsp
