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

    /// Appends `count` bytes from `data`; returns false when they could not all be written. What
    /// it raises is the implementation's to say.
    virtual bool write(const void* data, std::size_t count) = 0;

    /// Writes `value` seven bits per byte, least significant group first, with 0x80 on every byte
    /// but the last; from 2^56 up, a ninth byte holds bits 56 to 63 whole. Every byte is written
    /// even after a failed one; returns true only if all writes succeeded. Raises only what write
    /// raises.
    bool writeVarUInt(std::uint64_t value);

    /// Writes `value` as sign and magnitude through writeVarUInt: the magnitude's low six bits,
    /// the sign in bit 6, then the rest of the magnitude. The minimum value, whose magnitude does
    /// not fit, is written as the single byte 0x40: a negative zero, which no other value gives,
    /// so it still stands for the minimum unambiguously. Raises only what write raises.
    bool writeVarInt(std::int64_t value);
};

/// A ByteWriter that appends to a caller-owned string and never fails.
class StringByteWriter final : public ByteWriter {
public:
    /// Appends to `out`, which must outlive the writer; what `out` already holds stays.
    explicit StringByteWriter(std::string& out) : out_(out) {}

    /// Appends the bytes to the string and returns true. Raises std::bad_alloc or
    /// std::length_error when the string cannot grow, leaving it unchanged.
    bool write(const void* data, std::size_t count) override;

private:
    std::string& out_;
};

}  // namespace pelmo
