#include "pelmo/json/text_sink.h"

namespace pelmo {

TextSink::~TextSink() = default;

}  // namespace pelmo
