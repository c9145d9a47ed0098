#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace pelmo {

/// Where text goes, a piece at a time and in order: a file, a socket, a string.
class TextSink {
public:
    virtual ~TextSink();

    /// Takes the next `size` bytes of the text; raises, with the destination's error, when they
    /// cannot all be taken.
    virtual void write(const char* data, std::size_t size) = 0;

    /// Takes the next `size` bytes of the text, the start of a writer's buffer of `capacity`
    /// bytes. It may keep the buffer for later (a sink that writes on another thread does) and
    /// leave another of at least `capacity` bytes in its place for the writer to fill next. By
    /// default it writes the bytes and leaves the buffer. Raises as write() does, and then leaves
    /// the buffer as it was.
    virtual void writeBuffer(std::unique_ptr<char[]>& buffer, std::size_t size,
                             std::size_t capacity);
};

/// Raised where a text written to memory would pass the bound its writer set.
class OutputTooLarge : public std::length_error {
public:
    using std::length_error::length_error;
};

/// A TextSink that appends to a caller-owned string. Raises std::bad_alloc or std::length_error
/// when the string cannot grow, and OutputTooLarge with `tooLarge` as its message when it would
/// grow past `limit` bytes: a bound chosen by what the text is, where a text far larger than
/// expected would take the machine's memory before an allocation failed.
class StringSink final : public TextSink {
public:
    /// Appends to `out`, which must outlive the sink; what `out` already holds stays.
    explicit StringSink(std::string& out, std::size_t limit = SIZE_MAX, const char* tooLarge = "")
        : out_(out), limit_(limit), tooLarge_(tooLarge) {}

    void write(const char* data, std::size_t size) override {
        if (size > limit_ || out_.size() > limit_ - size) throw OutputTooLarge(tooLarge_);
        out_.append(data, size);
    }

private:
    std::string& out_;
    std::size_t limit_;
    const char* tooLarge_;
};

}  // namespace pelmo
