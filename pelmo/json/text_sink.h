#pragma once

#include <cstddef>
#include <string>

namespace pelmo {

/// Where text goes, a piece at a time and in order: a file, a socket, a string.
class TextSink {
public:
    virtual ~TextSink();

    /// Takes the next `size` bytes of the text; raises, with the destination's error, when they
    /// cannot all be taken.
    virtual void write(const char* data, std::size_t size) = 0;
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
