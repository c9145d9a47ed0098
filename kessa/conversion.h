#pragma once

#include <string_view>

#include "pelmo/json/text_sink.h"

namespace kessa {

/// Writes the indented JSON text of the kessa text `text` to `sink`, in chunks as it reads, in
/// memory that grows with the nesting depth alone; the bytes are those of
/// KessaParser().parse(text)->toIndentedString(). For malformed text it raises SyntaxError once
/// the text before the fault may have reached the sink: call checkKessa first to write nothing
/// for it. Raises whatever the sink raises.
void writeIndentedJson(std::string_view text, pelmo::TextSink& sink);

}  // namespace kessa
