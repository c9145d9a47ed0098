#pragma once

// Formatting in the editor: the kessa layout of a whole document, or of the smallest container
// around a range, handed over as edits of only the lines that change, so that an editor keeps
// its cursor, marks and undo history where the text stays. Byte offsets; nothing here knows the
// protocol.

#include <cstdint>
#include <string_view>
#include <vector>

#include "kessa/writer.h"
#include "lsp/analysis.h"
#include "pelmo/json/text_sink.h"

namespace lsp {

/// Raised where the formatted text would be larger than the server holds for a document of this
/// size: indentation grows with the nesting, and a deeply nested text would lay out to gigabytes.
using FormattedTooLarge = pelmo::OutputTooLarge;

/// The edits, in order and apart, each of whole lines, that turn `text` into its layout by
/// kessa::formatKessa. A text whose every line feed follows a carriage return keeps that line end,
/// as the editor that holds it does; any other gets line feeds alone. Raises kessa::SyntaxError
/// for malformed text, and FormattedTooLarge.
std::vector<Edit> formattingEdits(std::string_view text, const kessa::Layout& layout);

/// The same for the lines of the smallest container that holds the bytes [begin, end] and stands
/// on lines of its own, both in `text` and in its layout (its key first on its line, its right
/// brace last on its line): they become that container's lines in the layout of the whole text,
/// at their depth. Where none does, or where the lines put together would not lay out as the
/// whole text does, it is the whole text.
std::vector<Edit> rangeFormattingEdits(std::string_view text, std::uint64_t begin,
                                       std::uint64_t end, const kessa::Layout& layout);

}  // namespace lsp
