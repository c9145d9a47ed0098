#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kessa {

/// A change of whole lines: lines [oldStart, oldStart + oldCount) of one text become lines
/// [newStart, newStart + newCount) of the other. Lines count from 0; each holds its line feed,
/// but for a last line without one.
struct LineEdit {
    std::size_t oldStart, oldCount;
    std::size_t newStart, newCount;
    friend bool operator==(const LineEdit&, const LineEdit&) = default;
};

/// The lines of `text`, each with its line feed: none for the empty text.
std::vector<std::string_view> splitLines(std::string_view text);

/// The edits that turn `before` into `after`, in order and apart, each between lines the two
/// texts share: what a formatter hands an editor, so that only the lines it changes are touched,
/// and what a unified diff shows. Lines that appear once in each text anchor the match; between
/// anchors the fewest lines are changed, up to a bound on the work, past which a stretch is
/// replaced whole. Time near linear in the lines for texts that are mostly alike.
std::vector<LineEdit> lineEdits(std::string_view before, std::string_view after);

}  // namespace kessa
