// The formatter: the reader's events, equals signs and dropped text included, handed to the
// writer, which lays them out again. Nothing here decides the layout.

#include "kessa/format.h"

#include "kessa/read_machine.h"

namespace kessa {

namespace {

class Formatter {
public:
    Formatter(std::string_view text, pelmo::TextSink& sink, const Layout& layout)
        : text_(text), writer_(sink, layout) {}

    // A key is written where its equals sign stands, not where a value takes it.
    void key(std::string_view) {}

    void scalar(std::string_view token) {
        if (lineFeedAdds_) {
            lineFeedAdds_ = false;
        } else {
            afterLineFeed_ = false;
        }
        if (quoted_) {
            quoted_ = false;
            writer_.value(quotedSpan_, true);
            return;
        }
        // The empty first element of {,} is written "", which says it plainly.
        writer_.value(token, token.empty());
    }

    void openObject() { open(true); }
    void openArray() { open(false); }
    void closeObject() { close(); }
    void closeArray() { close(); }
    void end() { writer_.finish(); }

    void equalsSign(const char*, std::string_view, std::string_view token, bool) {
        afterLineFeed_ = false;
        writer_.key(detail::trimmed(token));
    }

    // The text in front of a left brace is written in front of it again. A brace still pending
    // is opened as an array right after this, before this one's container: hence the queue.
    void leftBrace(const char*, std::string_view discarded) {
        afterLineFeed_ = false;
        const std::string_view text = detail::trimmed(discarded);
        Discard& kept = discards_[(first_ + queued_++) % 2];
        if (text.empty() || (text.data() >= text_.data() &&
                             text.data() + text.size() <= text_.data() + text_.size())) {
            kept.view = text;  // a run of the text, which outlives the reading
        } else {
            kept.copy.assign(text);
            kept.view = kept.copy;
        }
    }

    void quotedValue(const char* open, const char* close) {
        quoted_ = true;
        quotedSpan_ = std::string_view(open + 1, static_cast<std::size_t>(close - open - 1));
    }

    void comma(const char*, bool) { afterLineFeed_ = false; }
    void rightBrace(const char*) { afterLineFeed_ = false; }

    // Two line feeds with only blanks between them make an empty line.
    void lineFeed(std::string_view before) {
        const bool blank = detail::trimmed(before).empty();
        if (afterLineFeed_ && blank) writer_.blankLine();
        afterLineFeed_ = true;
        lineFeedAdds_ = !blank;
    }

    // A left brace open at the end adds nothing, but is kept with the text in front of it; a
    // double quote open there holds nothing, and goes.
    void openAtEnd(const char* at) {
        if (*at == '{' && queued_ != 0) {
            writer_.danglingBrace(discards_[(first_ + queued_ - 1) % 2].view);
        }
    }

private:
    struct Discard {
        std::string copy;
        std::string_view view;
    };

    void open(bool object) {
        if (depth_++ == 0) return;  // the root, which no brace opens
        afterLineFeed_ = false;
        const Discard& discard = discards_[first_];
        if (!discard.view.empty()) writer_.discarded(discard.view);
        first_ ^= 1;
        --queued_;
        if (object) {
            writer_.openObject();
        } else {
            writer_.openArray();
        }
    }

    void close() {
        afterLineFeed_ = false;
        if (--depth_ != 0) writer_.close();
    }

    const std::string_view text_;
    KessaWriter writer_;
    /// The texts in front of the braces whose containers are not open yet: at most two, one
    /// pending and one just read, first_ the older.
    Discard discards_[2];
    unsigned first_ = 0, queued_ = 0;
    std::size_t depth_ = 0;
    bool quoted_ = false;
    std::string_view quotedSpan_;
    /// The last stop was a line feed outside quotes.
    bool afterLineFeed_ = false;
    /// The line feed just seen adds a value.
    bool lineFeedAdds_ = false;
};

}  // namespace

void formatKessa(std::string_view text, pelmo::TextSink& sink, const Layout& layout) {
    Formatter formatter(text, sink, layout);
    detail::ReadMachine<Formatter>(text, formatter).run();
}

std::size_t inMemoryLayoutBound(std::size_t size) {
    constexpr std::size_t kRoom = std::size_t{64} << 20;
    return size > (SIZE_MAX - kRoom) / 16 ? SIZE_MAX : kRoom + 16 * size;
}

std::string formatKessa(std::string_view text, const Layout& layout) {
    std::string out;
    pelmo::StringSink sink(out, inMemoryLayoutBound(text.size()), kLayoutTooLarge);
    formatKessa(text, sink, layout);
    return out;
}

}  // namespace kessa
