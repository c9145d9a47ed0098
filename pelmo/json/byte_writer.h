#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmo {

/// A sink for the binary encoding of nodes. Implementations append bytes somewhere and say
/// whether they could.
class ByteWriter {
public:
    virtual ~ByteWriter();

    /// Appends `count` bytes from `data`; returns false when they could not all be written.
    virtual bool write(const void* data, std::size_t count) = 0;

    /// Writes `value` seven bits per byte, least significant group first, with 0x80 on every byte
    /// but the last; from 2^56 up, a ninth byte holds bits 56 to 63 whole. Every byte is written
    /// even after a failed one; returns true only if all writes succeeded.
    bool writeVarUInt(std::uint64_t value);

    /// Writes `value` as sign and magnitude through writeVarUInt: the magnitude's low six bits,
    /// the sign in bit 6, then the rest of the magnitude. The minimum value, whose magnitude does
    /// not fit, is written as the single byte 0x40: a negative zero, which no other value gives,
    /// so it still stands for the minimum unambiguously.
    bool writeVarInt(std::int64_t value);
};

/// A ByteWriter that appends to a caller-owned string and never fails.
class StringByteWriter final : public ByteWriter {
public:
    explicit StringByteWriter(std::string& out) : out_(out) {}

    bool write(const void* data, std::size_t count) override;

private:
    std::string& out_;
};

}  // namespace pelmo
