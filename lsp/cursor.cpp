// The reader's byte machine runs over the text up to the cursor with a line feed after it, which
// ends what was being typed there as the notation would: the machine's own events then say where
// the cursor stands. A second pass over the whole text, through the layout, finds the keys the
// object already has and the kind of a brace that only later text decides.

#include "lsp/cursor.h"

#include <algorithm>
#include <optional>

#include "kessa/read_machine.h"
#include "lsp/layout.h"

namespace lsp {

namespace {

using kessa::PathStep;

/// Follows the machine over the text before the cursor and keeps its state.
class PrefixHandler {
public:
    static constexpr bool kKeepBytes = false;

    explicit PrefixHandler(std::string_view text) : text_(text) {}

    void key(std::string_view span) {
        consumedKey_ = keptBytes(span, false);
        consumedGiven_ = keyGiven_;
        keyGiven_ = false;
    }
    void scalar(std::string_view span) {
        Frame& frame = frames_.back();
        last_ = Last::Scalar;
        lastSpan_ = span;
        lastQuoted_ = quoted_;
        lastClose_ = quoteClose_;
        quoted_ = false;
        lastGiven_ = !frame.array && consumedGiven_;
        lastKey_ = consumedKey_;
        ++frame.count;
    }
    void openObject() { open(false); }
    void openArray() { open(true); }
    void closeObject() { close(); }
    void closeArray() { close(); }
    void end() {}

    void equalsSign(const char*, std::string_view, std::string_view token, bool) {
        keyGiven_ = true;
        pendingKey_ = keptBytes(kessa::detail::trimmed(token), false);
        last_ = Last::Other;
    }
    void leftBrace(const char* at, std::string_view) {
        pendingBrace_ = offsetOf(at);
        last_ = Last::Other;
    }
    void openingBrace(const char* at) { openingBrace_ = offsetOf(at); }
    void comma(const char*, bool) { last_ = Last::Other; }
    void rightBrace(const char*) { last_ = Last::Other; }
    void quotedValue(const char*, const char* close) {
        quoted_ = true;
        quoteClose_ = offsetOf(close);
    }
    void lineFeedDropped(std::string_view token) {
        last_ = Last::Dropped;
        dropped_ = token;
    }
    void openAtEnd(const char* at) {
        if (*at == '"') quoteAtEnd_ = offsetOf(at);
    }

    struct Frame {
        bool array;
        std::uint64_t count;                 // values added so far
        std::optional<std::uint64_t> brace;  // none for the root
    };
    enum class Last { Other, Scalar, Dropped };

    std::uint64_t offsetOf(const char* at) const {
        return static_cast<std::uint64_t>(at - text_.data());
    }

    std::string_view text_;
    std::vector<Frame> frames_;
    kessa::InstancePath path_;  // of the innermost container
    /// An equals sign came since the last value of an object took a key, giving pendingKey_.
    bool keyGiven_ = false;
    std::string pendingKey_;
    std::string consumedKey_;
    bool consumedGiven_ = false;
    std::optional<std::uint64_t> pendingBrace_;  // a left brace whose kind is not decided yet
    std::uint64_t openingBrace_ = 0;
    bool quoted_ = false;
    std::uint64_t quoteClose_ = 0;
    std::optional<std::uint64_t> quoteAtEnd_;
    // The last event, and the last scalar.
    Last last_ = Last::Other;
    std::string_view lastSpan_, dropped_;
    bool lastQuoted_ = false, lastGiven_ = false;
    std::uint64_t lastClose_ = 0;
    std::string lastKey_;

private:
    void open(bool array) {
        if (frames_.empty()) {  // the root
            frames_.push_back({false, 0, std::nullopt});
            return;
        }
        Frame& parent = frames_.back();
        path_.push_back(parent.array ? PathStep{parent.count} : PathStep{consumedKey_});
        ++parent.count;
        frames_.push_back({array, 0, openingBrace_});
        if (pendingBrace_ == openingBrace_) pendingBrace_.reset();
        last_ = Last::Other;
    }
    void close() {
        if (frames_.size() == 1) return;  // the root, at the end of the text
        frames_.pop_back();
        path_.pop_back();
        last_ = Last::Other;
    }
};

/// The keys of one object of the whole text, and the kind of the container at one brace.
class Members final : public LayoutVisitor {
public:
    struct Done {};

    Members(std::optional<std::uint64_t> object, std::uint64_t cursor)
        : object_(object), cursor_(cursor) {}

    void scalar(const Item& item) override { member(item); }
    void open(const Item& item, bool object) override {
        member(item);
        if (object_ == item.valueBegin) kind = object ? Kind::Object : Kind::Array;
        open_.push_back(item.valueBegin);
    }
    void close(std::uint64_t) override {
        if (object_ == open_.back()) throw Done{};
        open_.pop_back();
    }

    enum class Kind { Undecided, Object, Array };
    Kind kind = Kind::Undecided;
    std::vector<std::string> keys;

private:
    void member(const Item& item) {
        const bool inside = object_ ? !open_.empty() && open_.back() == *object_ : open_.empty();
        if (!inside || item.inArray) return;
        if (item.keyBegin <= cursor_ && cursor_ <= item.keyEnd && item.keyEnd > item.keyBegin) {
            return;  // the key being typed
        }
        std::string key = keptBytes(item.key, false);
        if (!key.empty()) keys.push_back(std::move(key));
    }

    std::optional<std::uint64_t> object_;  // its brace; none for the root
    std::uint64_t cursor_;
    std::vector<std::uint64_t> open_;
};

Members membersOf(std::string_view text, std::optional<std::uint64_t> object,
                  std::uint64_t cursor) {
    Members members(object, cursor);
    // A last line being typed has no line feed yet: with one, its member counts.
    std::string ended(text);
    ended += '\n';
    try {
        walkLayout(ended, members);
    } catch (const Members::Done&) {
    } catch (const kessa::SyntaxError&) {
        // What comes before the fault is all there is.
    }
    return members;
}

bool onlyBlanks(std::string_view bytes) {
    return bytes.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

CursorPlace cursorAt(std::string_view text, std::uint64_t offset) {
    offset = std::min<std::uint64_t>(offset, text.size());
    std::string prefix(text.substr(0, offset));
    prefix += '\n';
    PrefixHandler state(prefix);
    bool inQuotes = false;
    std::uint64_t quote = 0;
    try {
        kessa::detail::ReadMachine<PrefixHandler>(prefix, state).run();
    } catch (const kessa::SyntaxError& error) {
        if (error.fault() == kessa::Fault::StrayRightBrace) return {};
        inQuotes = error.fault() == kessa::Fault::UnclosedQuote;
        quote = error.offset();
    }
    if (state.quoteAtEnd_) {
        inQuotes = true;
        quote = *state.quoteAtEnd_;
    }
    const std::size_t lineBreak = text.substr(0, offset).find_last_of("\r\n");
    const std::uint64_t lineStart = lineBreak == std::string_view::npos ? 0 : lineBreak + 1;
    const auto typedFrom = [&](std::uint64_t begin) { return std::max(begin, lineStart); };

    const PrefixHandler::Frame& frame = state.frames_.back();
    CursorPlace place;
    place.path = state.path_;
    const auto value = [&](PathStep step) {
        place.kind = CursorPlace::Kind::Value;
        place.path.push_back(std::move(step));
        return place;
    };
    const auto key = [&](std::optional<std::uint64_t> object) {
        place.kind = CursorPlace::Kind::Key;
        place.keys = membersOf(text, object, offset).keys;
        return place;
    };

    if (inQuotes) {
        place.begin = typedFrom(quote);
        if (frame.array) return value(frame.count);
        if (state.keyGiven_) return value(state.pendingKey_);
        return {};  // a value with no key: nothing to complete
    }
    if (state.pendingBrace_) {
        // The brace's own container, its kind still open at the cursor.
        const std::string_view typed = kessa::detail::trimmed(state.dropped_);
        place.begin = typed.empty() ? offset : typedFrom(state.offsetOf(typed.data()));
        place.path.push_back(frame.array       ? PathStep{frame.count}
                             : state.keyGiven_ ? PathStep{state.pendingKey_}
                                               : PathStep{std::string()});
        const Members members = membersOf(text, state.pendingBrace_, offset);
        if (members.kind == Members::Kind::Array) return value(std::uint64_t{0});
        place.kind = CursorPlace::Kind::Key;
        place.keys = members.keys;
        place.undecided = members.kind == Members::Kind::Undecided;
        return place;
    }
    if (state.last_ == PrefixHandler::Last::Scalar) {
        const std::uint64_t begin = state.offsetOf(state.lastSpan_.data());
        const std::uint64_t end =
            state.lastQuoted_ ? state.lastClose_ + 1 : begin + state.lastSpan_.size();
        if (!state.lastQuoted_ && end == offset) {  // the key or value being typed
            place.begin = typedFrom(begin);
            if (frame.array) return value(frame.count - 1);
            if (state.lastGiven_) return value(state.lastKey_);
            return key(frame.brace);
        }
        if (end <= offset && onlyBlanks(text.substr(end, offset - end))) return {};
    }
    place.begin = offset;
    if (frame.array) return value(frame.count);
    if (state.keyGiven_) return value(state.pendingKey_);
    return key(frame.brace);
}

}  // namespace lsp
