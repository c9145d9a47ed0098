#include "lsp/layout.h"

#include <vector>

#include "kessa/read_machine.h"

namespace lsp {

namespace {

/// Follows the reader's byte machine and turns its events and hooks into items. Its views are
/// runs of the text.
class LayoutHandler {
public:
    static constexpr bool kKeepBytes = false;

    LayoutHandler(std::string_view text, LayoutVisitor& visitor) : text_(text), visitor_(visitor) {}

    void key(std::string_view span) {
        key_ = span;
        if (!span.empty()) {
            keyBegin_ = offsetOf(span.data());
        } else if (keyGiven_) {
            keyBegin_ = offsetOf(equals_);
        } else {
            keyBegin_ = kNoPlace;
        }
        keyGiven_ = false;
    }

    void scalar(std::string_view span) {
        const bool quoted = quoted_;
        quoted_ = false;
        Item item = next();
        item.quoted = quoted;
        item.token = span;
        // A quoted value spans its quotes, whatever tabs inside them the token dropped.
        item.valueBegin = quoted ? offsetOf(quoteOpen_) : offsetOf(span.data());
        item.valueEnd = quoted ? offsetOf(quoteClose_) + 1 : item.valueBegin + span.size();
        place(item);
        visitor_.scalar(item);
    }

    void openObject() { opened(true); }
    void openArray() { opened(false); }
    void closeObject() { closed(); }
    void closeArray() { closed(); }
    void end() {}

    void equalsSign(const char* at, std::string_view, std::string_view, bool) {
        keyGiven_ = true;
        equals_ = at;
    }
    void openingBrace(const char* at) { brace_ = at; }
    void rightBrace(const char* at) { rightBrace_ = at; }
    void quotedValue(const char* open, const char* close) {
        quoted_ = true;
        quoteOpen_ = open;
        quoteClose_ = close;
    }

private:
    static constexpr std::uint64_t kNoPlace = ~std::uint64_t{0};

    std::uint64_t offsetOf(const char* at) const {
        return static_cast<std::uint64_t>(at - text_.data());
    }

    /// The item for the next value of the innermost container, its value not placed yet.
    Item next() {
        Item item;
        Frame& frame = frames_.back();
        if (frame.array) {
            item.inArray = true;
            item.index = frame.count;
        } else {
            item.key = key_;
            item.keyBegin = keyBegin_;
        }
        ++frame.count;
        return item;
    }

    /// Fills in the key's span from the value's place where there was no key to place it.
    static void place(Item& item) {
        if (item.inArray) {
            item.keyBegin = item.keyEnd = item.valueBegin;
        } else if (item.keyBegin == kNoPlace) {
            item.keyBegin = item.keyEnd = item.valueBegin;
        } else {
            item.keyEnd = item.keyBegin + item.key.size();
        }
    }

    void opened(bool object) {
        if (frames_.empty()) {  // the root
            frames_.push_back({false, 0});
            return;
        }
        Item item = next();
        item.valueBegin = offsetOf(brace_);
        item.valueEnd = item.valueBegin + 1;
        place(item);
        frames_.push_back({!object, 0});
        visitor_.open(item, object);
    }

    void closed() {
        frames_.pop_back();
        if (!frames_.empty()) visitor_.close(offsetOf(rightBrace_) + 1);
    }

    struct Frame {
        bool array;
        std::uint64_t count;  // values added so far
    };

    const std::string_view text_;
    LayoutVisitor& visitor_;
    std::vector<Frame> frames_;  // the open containers, the root first
    std::string_view key_;
    std::uint64_t keyBegin_ = kNoPlace;
    bool keyGiven_ = false;
    const char* equals_ = nullptr;
    bool quoted_ = false;
    const char* quoteOpen_ = nullptr;
    const char* quoteClose_ = nullptr;
    const char* brace_ = nullptr;  // the left brace of the container opened next
    const char* rightBrace_ = nullptr;
};

}  // namespace

LayoutVisitor::~LayoutVisitor() = default;

void walkLayout(std::string_view text, LayoutVisitor& visitor) {
    LayoutHandler handler(text, visitor);
    kessa::detail::ReadMachine<LayoutHandler>(text, handler).run();
}

std::string keptBytes(std::string_view span, bool quoted) {
    std::string buffer;
    return std::string(kessa::detail::keptBytes(span, quoted, buffer));
}

}  // namespace lsp
