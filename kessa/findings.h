#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kessa/finding_kinds.h"

namespace kessa {

/// One finding: what it is and the bytes concerned, a run of the text checked.
struct Finding {
    FindingKind kind;
    /// Where the bytes begin, from the start of the text.
    std::uint64_t offset;
    /// The key, value or other text concerned, as it stands in the text (bytes the notation
    /// drops, such as the line breaks of JoinedLines, included); a left brace for a container
    /// under the empty key. Valid as long as the text is.
    std::string_view bytes;
    /// Set for a schema's findings, which the kind alone cannot word: the message, the JSON
    /// pointer of the value concerned (such as "/server/port") and the schema keyword that
    /// refuses it (such as "maximum"). Valid during the handler's call.
    std::string_view message = {};
    std::string_view pointer = {};
    std::string_view keyword = {};

    /// The kind's stable name, such as "trailing-zeros".
    std::string_view code() const { return kessa::code(kind); }
    Severity severity() const { return kessa::severity(kind); }
};

/// Receives the findings of checkKessaFindings.
class FindingHandler {
public:
    virtual ~FindingHandler();
    virtual void found(const Finding& finding) = 0;
};

/// Reads the whole of `text` as a conversion would and reports to `handler` each place where
/// the conversion changes or drops what the text says. The findings come as the reader meets
/// them, most by rising offset; a key is known to be repeated only once its value comes, so
/// sort by offset for document order. Memory grows with the nesting depth and with the members
/// of the objects still open, whose keys are kept. Raises SyntaxError for malformed text, once
/// the findings before the fault have been reported, and whatever the handler raises.
void checkKessaFindings(std::string_view text, FindingHandler& handler);

/// The finding in a few words: its message where it has one, else its bytes in double quotes (at
/// most their first kBytesShown, with unprintable bytes as \xNN and quotes and backslashes
/// escaped), and what to write instead where the notation has a way.
std::string describe(const Finding& finding);

/// How much of a finding's bytes describe shows.
constexpr std::size_t kBytesShown = 60;

/// Bytes as the words of a finding show them: in double quotes, at most their first kBytesShown,
/// quotes and backslashes escaped, bytes that cannot be printed as \xNN.
std::string shownBytes(std::string_view bytes);

}  // namespace kessa
