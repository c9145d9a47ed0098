#pragma once

#include <cstddef>
#include <memory>
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

/// A TextSink that appends to a caller-owned string. Raises std::bad_alloc or std::length_error
/// when the string cannot grow.
class StringSink final : public TextSink {
public:
    /// Appends to `out`, which must outlive the sink; what `out` already holds stays.
    explicit StringSink(std::string& out) : out_(out) {}

    void write(const char* data, std::size_t size) override { out_.append(data, size); }

private:
    std::string& out_;
};

}  // namespace pelmo
