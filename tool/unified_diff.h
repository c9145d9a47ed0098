#pragma once

#include <string>
#include <string_view>

#include "pelmo/json/text_sink.h"

namespace tool {

/// The unified diff that turns `before` into `after`, as `diff -u` writes it: a header naming
/// `name` on both sides (so that `patch -p0` finds the file), then hunks of the lines that
/// change with three lines of context, hunks closer than that merged, and "\ No newline at end
/// of file" after a last line without one. Bytes pass as they are. Empty when the texts are
/// equal. Written to `sink` a chunk at a time; raises what the sink raises.
void unifiedDiff(std::string_view name, std::string_view before, std::string_view after,
                 pelmo::TextSink& sink);

}  // namespace tool
