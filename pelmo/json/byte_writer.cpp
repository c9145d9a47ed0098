#include "pelmo/json/byte_writer.h"

namespace pelmo {

ByteWriter::~ByteWriter() = default;

bool ByteWriter::writeVarUInt(std::uint64_t value) {
    bool ok = true;
    for (int group = 0; group < 8; ++group) {
        const bool more = (value >> 7) != 0;
        const auto byte = static_cast<unsigned char>((value & 0x7F) | (more ? 0x80 : 0));
        ok = write(&byte, 1) && ok;
        if (!more) return ok;
        value >>= 7;
    }
    // Eight groups hold 56 bits; the ninth byte carries the last eight without a flag.
    const auto last = static_cast<unsigned char>(value);
    return write(&last, 1) && ok;
}

bool ByteWriter::writeVarInt(std::int64_t value) {
    const bool negative = value < 0;
    // Two's complement negation in unsigned arithmetic, then bit 63 cleared (it is set only
    // for the minimum value, whose magnitude becomes 0).
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (negative) magnitude = ~magnitude + 1;
    magnitude &= ~(std::uint64_t{1} << 63);
    const std::uint64_t packed =
        (magnitude & 0x3F) | (negative ? 0x40 : 0) | ((magnitude & ~std::uint64_t{0x3F}) << 1);
    return writeVarUInt(packed);
}

bool StringByteWriter::write(const void* data, std::size_t count) {
    out_.append(static_cast<const char*>(data), count);
    return true;
}

}  // namespace pelmo
