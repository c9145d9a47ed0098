#include "pelmo/json/text_sink.h"

namespace pelmo {

TextSink::~TextSink() = default;

void TextSink::writeBuffer(std::unique_ptr<char[]>& buffer, std::size_t size, std::size_t) {
    write(buffer.get(), size);
}

}  // namespace pelmo
