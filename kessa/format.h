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

/// The most bytes a kessa text laid out in memory may take for an input of `size` bytes: 64 MiB
/// and 16 times the input. Only deep nesting passes it (each line's indentation grows with its
/// depth, so a text a million levels deep would lay out to terabytes), and a function that lays
/// a text out into a string raises pelmo::OutputTooLarge there, before it takes the machine's
/// memory. A sink of the caller's takes any size.
std::size_t inMemoryLayoutBound(std::size_t size);

/// Why a layout held in memory stopped at inMemoryLayoutBound (the same for indented JSON).
inline constexpr const char* kLayoutTooLarge =
    "the text laid out would be over 16 times the input: it nests too deep to indent in memory";

/// The formatted text of `text`. Raises SyntaxError for malformed text, and pelmo::OutputTooLarge
/// past inMemoryLayoutBound(text.size()).
std::string formatKessa(std::string_view text, const Layout& layout = {});

}  // namespace kessa
