#include "lsp/transport.h"

#include <algorithm>
#include <charconv>

namespace lsp {

namespace {

constexpr std::string_view kLengthHeader = "content-length";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

ByteSource::~ByteSource() = default;
ByteSink::~ByteSink() = default;

bool MessageReader::fill() {
    if (pos_ > 0 && pos_ * 2 >= buffer_.size()) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    constexpr std::size_t kChunk = 1 << 16;
    const std::size_t size = buffer_.size();
    buffer_.resize(size + kChunk);
    const std::size_t got = source_.read(buffer_.data() + size, kChunk);
    buffer_.resize(size + got);
    return got != 0;
}

bool MessageReader::line(std::string& out, bool& tooLong) {
    tooLong = false;
    std::size_t searched = 0;  // the bytes from pos_ on already searched
    for (;;) {
        const std::size_t end = buffer_.find('\n', pos_ + searched);
        if (end != std::string::npos) {
            tooLong = tooLong || end - pos_ > kMaxHeaderLine;
            if (!tooLong) {
                out.assign(buffer_, pos_, end - pos_);
                if (!out.empty() && out.back() == '\r') out.pop_back();
            }
            pos_ = end + 1;
            return true;
        }
        if (buffer_.size() - pos_ > kMaxHeaderLine) {
            tooLong = true;  // said once the line ends; its bytes need not be kept
            pos_ = buffer_.size();
        }
        searched = buffer_.size() - pos_;
        if (!fill()) return false;
    }
}

bool MessageReader::resynchronize() {
    constexpr std::string_view kMark = "Content-Length:";
    for (;;) {
        const std::size_t at = buffer_.find(kMark, pos_);
        if (at != std::string::npos) {
            pos_ = at;
            return true;
        }
        // Keep a tail that may be the start of the mark.
        if (buffer_.size() - pos_ > kMark.size()) pos_ = buffer_.size() - kMark.size();
        if (!fill()) return false;
    }
}

MessageReader::Frame MessageReader::next() {
    if (resync_) {
        resync_ = false;
        if (!resynchronize()) return {};
    }
    Frame frame;
    bool any = false, tooLong = false;
    std::uint64_t length = 0;
    const auto bad = [&](std::string problem) {
        resync_ = true;
        frame.status = Status::BadHeader;
        frame.problem = std::move(problem);
        return frame;
    };
    bool haveLength = false;
    std::string header;
    for (;;) {
        if (!line(header, tooLong)) return {};
        if (tooLong) return bad("a header line longer than " + std::to_string(kMaxHeaderLine));
        if (header.empty()) {
            if (!any) continue;  // blank lines between messages
            break;
        }
        any = true;
        const std::size_t colon = header.find(':');
        if (colon == std::string::npos) return bad("a header line with no colon");
        if (!equalsIgnoringCase(trimmed(std::string_view(header).substr(0, colon)),
                                kLengthHeader)) {
            continue;  // Content-Type and the like
        }
        const std::string_view value = trimmed(std::string_view(header).substr(colon + 1));
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), length);
        if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
            return bad("a Content-Length that is not a number");
        }
        if (length > kMaxBody) return bad("a Content-Length beyond " + std::to_string(kMaxBody));
        haveLength = true;
    }
    if (!haveLength) return bad("a header with no Content-Length");
    // The body: what is buffered, then straight from the source.
    const std::size_t buffered = std::min<std::uint64_t>(length, buffer_.size() - pos_);
    frame.body.assign(buffer_, pos_, buffered);
    pos_ += buffered;
    while (frame.body.size() < length) {
        constexpr std::size_t kChunk = 1 << 16;
        const std::size_t size = frame.body.size();
        const std::size_t want = std::min<std::uint64_t>(kChunk, length - size);
        frame.body.resize(size + want);
        const std::size_t got = source_.read(frame.body.data() + size, want);
        frame.body.resize(size + got);
        if (got == 0) return {};  // cut short
    }
    frame.status = Status::Message;
    return frame;
}

void MessageWriter::write(std::string_view body) {
    const std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    std::lock_guard<std::mutex> lock(mutex_);
    sink_.write(header);
    sink_.write(body);
}

}  // namespace lsp
