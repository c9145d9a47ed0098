#pragma once

#include <string>
#include <string_view>

#include "kessa/writer.h"
#include "pelmo/json/text_sink.h"

namespace kessa {

/// Writes the kessa text `text` again in the layout of KessaWriter, to `sink` in chunks as it
/// reads, in memory that follows the nesting depth: the same keys, values and containers in the
/// same order, so that it converts to the same JSON, byte for byte.
///
/// Only layout changes: blanks, line breaks, indentation, commas and where the items stand, with
/// one empty line kept where the text had any between two items. Every key and value keeps its
/// text as written (quotes, and the tabs and carriage returns between them, included), and so
/// does text the conversion drops (a key another one replaces, text in front of a left brace), so
/// that a check finds in the result what it found in the text. What only the layout said goes:
/// carriage returns and line breaks outside quotes, a comma that adds nothing, a double quote
/// left open at the very end.
///
/// Raises SyntaxError for malformed text once the text before the fault may have reached the
/// sink (call checkKessa first to write nothing for it), and whatever the sink raises.
void formatKessa(std::string_view text, pelmo::TextSink& sink, const Layout& layout = {});

/// The formatted text of `text`. Raises SyntaxError for malformed text.
std::string formatKessa(std::string_view text, const Layout& layout = {});

}  // namespace kessa
