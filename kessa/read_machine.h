#pragma once

// Internal to the kessa library: the one byte machine behind every reader of kessa text. It walks
// the text once, visiting only the bytes that stop a run of ordinary text (found 64 at a time by
// stop_masks.h), and reports what it finds to a handler in document order:
//
//   key(view)      the key of the next value, which goes into the innermost open object
//   scalar(view)   a value token, untyped
//   openObject()  openArray()  closeObject()  closeArray()  (the root object included)
//   end()          the text ended and was accepted
//
// A handler whose static member kKeepBytes is false gets views that may hold bytes the notation
// drops (a carriage return inside a value, say); the checker, which never looks at them, saves
// the copies that exact views would take. Such views are always runs of the text itself.
//
// A handler may also have any of these members, which are called where the notation quietly
// changes what the text says; handlers without them compile to the same code as before:
//
//   equalsSign(at, key, token, inObject)  an equals sign: the pending key it replaces, the text
//                                         before it, and whether the innermost container is an
//                                         object (inside an array the key is ignored)
//   leftBrace(at, discarded)              a left brace, before anything else it does, and the
//                                         text before it, which it drops
//   quoteInText(at, before)               a double quote taken as an ordinary character
//   lineFeedDropped(before)               a line feed dropped while a brace's kind is pending
//   quotedValue(open, close)              the quotes around the value reported next
//   comma(at, added)                      a comma, once handled: whether it added a value
//   lineFeed(before)                      a line feed that ends a value or line, before it
//                                         adds the value: the bytes collected since the last
//                                         stop
//   openAtEnd(at)                         the double quote or left brace that the end of an
//                                         accepted text leaves open, adding nothing
//   openingBrace(at)                      the left brace of the container opened next
//   rightBrace(at)                        the right brace of the container closed next

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kessa/reader.h"
#include "kessa/stop_masks.h"

namespace kessa::detail {

template <class Handler>
constexpr bool keepsBytes() {
    if constexpr (requires { Handler::kKeepBytes; }) {
        return Handler::kKeepBytes;
    } else {
        return true;
    }
}

/// Space, tab, line feed or carriage return: what trimming removes.
inline bool isBlank(char c) {
    constexpr std::uint64_t kBlanks = 1ull << ' ' | 1ull << '\t' | 1ull << '\n' | 1ull << '\r';
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' && (kBlanks >> byte & 1) != 0;
}

/// `bytes` without the spaces, tabs, line feeds and carriage returns at either end.
inline std::string_view trimmed(std::string_view bytes) {
    std::size_t begin = 0, end = bytes.size();
    while (end != 0 && isBlank(bytes[end - 1])) --end;
    while (begin != end && isBlank(bytes[begin])) ++begin;
    return bytes.substr(begin, end - begin);
}

/// The bytes of `span` that the conversion keeps: outside quotes it drops carriage returns and
/// the line feeds of a pending brace, inside quotes tabs. A copy in `buffer` only if there are any.
inline std::string_view keptBytes(std::string_view span, bool quoted, std::string& buffer) {
    const auto dropped = [quoted](char c) { return quoted ? c == '\t' : c == '\r' || c == '\n'; };
    std::size_t i = 0;
    while (i != span.size() && !dropped(span[i])) ++i;
    if (i == span.size()) return span;
    buffer.assign(span.substr(0, i));
    for (; i != span.size(); ++i) {
        if (!dropped(span[i])) buffer += span[i];
    }
    return buffer;
}

/// The bytes collected for a key or a value. They stay a view of the text while they are one run
/// of it, and are copied only when a dropped byte splits them (or, without kKeepBytes, never).
template <bool kKeepBytes>
class Token {
public:
    std::string_view view() const { return view_; }
    bool empty() const { return view_.empty(); }
    /// Where the bytes start in the text: the first one that is not blank, or for blanks alone the
    /// first one collected. Between the first byte collected and that one the text holds only
    /// blanks, dropped or not, so the answer is the same whether the bytes were copied or not.
    const char* start() const {
        if (trimmed(view_).empty()) return first_;
        const char* p = first_;
        while (isBlank(*p)) ++p;
        return p;
    }

    /// Adds the bytes from `begin` up to `end`, a run of the text. No bytes, between two stops
    /// in a row, take the same steps as some: that branch would be mispredicted half the time.
    void append(const char* begin, const char* end) {
        const std::size_t size = static_cast<std::size_t>(end - begin);
        if (view_.empty()) {
            view_ = std::string_view(begin, size);
            first_ = begin;
            copied_ = false;
        } else if (!copied_ && (!kKeepBytes || begin == view_.data() + view_.size())) {
            view_ = std::string_view(view_.data(), static_cast<std::size_t>(end - view_.data()));
        } else {
            if (!copied_) {
                copy_.assign(view_);
                copied_ = true;
            }
            copy_.append(begin, size);
            view_ = copy_;
        }
    }

    /// Becomes `from` without its blanks at either end; `from` is left empty.
    void takeTrimmed(Token& from) {
        const std::string_view bytes = trimmed(from.view_);
        first_ = from.first_;
        copied_ = from.copied_;
        if (copied_) {
            const std::size_t offset = static_cast<std::size_t>(bytes.data() - from.copy_.data());
            copy_.swap(from.copy_);
            view_ = std::string_view(copy_).substr(offset, bytes.size());
        } else {
            view_ = bytes;
        }
        from.clear();
    }

    void clear() {
        view_ = {};
        copied_ = false;
    }

private:
    std::string_view view_;
    const char* first_ = nullptr;
    std::string copy_;
    bool copied_ = false;
};

template <class Handler>
class ReadMachine {
public:
    ReadMachine(std::string_view text, Handler& handler) : text_(text), handler_(handler) {}

    /// Reads the whole text and reports it; raises SyntaxError for malformed text.
    void run() {
        handler_.openObject();  // the root
        const char* const begin = text_.data();
        const char* const end = begin + text_.size();
        const ClassifyBlocks classify = classifier();
        constexpr std::size_t kBatch = 64;  // blocks classified at a time
        StopMasks masks[kBatch];
        const char* run = begin;  // the start of the ordinary bytes not collected yet
        const char* block = begin;
        while (block != end) {
            const std::size_t whole = static_cast<std::size_t>(end - block) / kBlock;
            std::size_t count;
            if (whole != 0) {
                count = std::min(whole, kBatch);
                classify(block, count, masks);
            } else {
                count = 1;
                masks[0] = classifyTail(block, static_cast<std::size_t>(end - block));
            }
            for (std::size_t i = 0; i < count; ++i) {
                visitStops(block, masks[i], run);
                block = whole != 0 ? block + kBlock : end;
            }
        }
        token_.append(run, end);
        finish();
    }

private:
    static constexpr bool kKeepBytes = keepsBytes<Handler>();

    /// Handles the stops of the block at `block` in order, in whichever state each finds the
    /// machine; the ordinary bytes before each stop, from `run` on, join the token.
    void visitStops(const char* block, StopMasks masks, const char*& run) {
        for (;;) {
            const std::uint64_t stops = inQuotes_ ? masks.quoted : masks.plain;
            if (stops == 0) return;
            const int index = std::countr_zero(stops);
            const std::uint64_t later = ~std::uint64_t{1} << index;
            masks.plain &= later;
            masks.quoted &= later;
            const char* at = block + index;
            token_.append(run, at);
            run = at + 1;
            onStop(at);
        }
    }

    std::uint64_t offsetOf(const char* at) const {
        return static_cast<std::uint64_t>(at - text_.data());
    }

    void onStop(const char* at) {
        const char c = *at;
        if (inQuotes_) {
            if (c == '"') {  // the closing quote: the value is kept untrimmed
                inQuotes_ = false;
                if constexpr (requires { handler_.quotedValue(at, at); }) {
                    handler_.quotedValue(text_.data() + quoteStart_, at);
                }
                addScalar(token_.view());
                token_.clear();
            }  // a tab inside quotes is dropped
            return;
        }
        switch (c) {
            case '=':
                onEquals(at);
                break;
            case '{':
                onLeftBrace(at);
                break;
            case ',':
                onComma(at);
                break;
            case '}':
                onRightBrace(at);
                break;
            case '"':
                onQuote(at);
                break;
            case '\n':
                onLineFeed();
                break;
            default:
                break;  // a carriage return is dropped
        }
    }

    // The text before an equals sign becomes the pending key, replacing any earlier one.
    void onEquals([[maybe_unused]] const char* at) {
        resolvePending(true);
        if constexpr (requires { handler_.equalsSign(at, key_.view(), token_.view(), true); }) {
            handler_.equalsSign(at, key_.view(), token_.view(), inObject_);
        }
        key_.takeTrimmed(token_);
    }

    // Text between a value's equals sign and a left brace is discarded.
    void onLeftBrace(const char* at) {
        if constexpr (requires { handler_.leftBrace(at, token_.view()); }) {
            handler_.leftBrace(at, token_.view());
        }
        token_.clear();
        resolvePending(false);
        pending_ = true;
        pendingBrace_ = offsetOf(at);
    }

    // A comma right after a left brace makes an array whose first element may be empty.
    void onComma([[maybe_unused]] const char* at) {
        const bool wasPending = pending_;
        resolvePending(false);
        const std::string_view value = trimmed(token_.view());
        const bool added = wasPending || !value.empty();
        if (added) addScalar(value);
        token_.clear();
        if constexpr (requires { handler_.comma(at, added); }) handler_.comma(at, added);
    }

    void onRightBrace(const char* at) {
        resolvePending(false);
        const std::string_view value = trimmed(token_.view());
        if (!value.empty()) addScalar(value);
        token_.clear();
        // The root has no brace of its own to close.
        if (open_.empty()) throw SyntaxError(Fault::StrayRightBrace, offsetOf(at));
        if constexpr (requires { handler_.rightBrace(at); }) handler_.rightBrace(at);
        const bool wasObject = inObject_;
        open_.pop_back();
        inObject_ = open_.empty() || (open_.back() & 1) != 0;
        if (wasObject) {
            handler_.closeObject();
        } else {
            handler_.closeArray();
        }
    }

    // A double quote opens a quoted value only where nothing has been collected yet.
    void onQuote(const char* at) {
        resolvePending(false);
        if (token_.empty()) {
            inQuotes_ = true;
            quoteStart_ = offsetOf(at);
        } else {
            if constexpr (requires { handler_.quoteInText(at, token_.view()); }) {
                handler_.quoteInText(at, token_.view());
            }
            token_.append(at, at + 1);
        }
    }

    // While a container's kind is pending, line feeds are dropped and the text around them joins.
    void onLineFeed() {
        if (pending_) {
            if constexpr (requires { handler_.lineFeedDropped(token_.view()); }) {
                handler_.lineFeedDropped(token_.view());
            }
            return;
        }
        if constexpr (requires { handler_.lineFeed(token_.view()); }) {
            handler_.lineFeed(token_.view());
        }
        const std::string_view value = trimmed(token_.view());
        if (!value.empty()) addScalar(value);
        token_.clear();
    }

    /// Opens the pending container, if there is one, as an object or an array.
    void resolvePending(bool asObject) {
        if (!pending_) return;
        pending_ = false;
        consumeKey();
        if constexpr (requires { handler_.openingBrace(text_.data()); }) {
            handler_.openingBrace(text_.data() + pendingBrace_);
        }
        open_.push_back(pendingBrace_ << 1 | (asObject ? 1 : 0));
        inObject_ = asObject;
        if (asObject) {
            handler_.openObject();
        } else {
            handler_.openArray();
        }
    }

    void addScalar(std::string_view value) {
        consumeKey();
        handler_.scalar(value);
    }

    /// A value added to an object takes the pending key, an empty one included; one added to an
    /// array leaves it for a later object.
    void consumeKey() {
        if (!inObject_) return;
        handler_.key(key_.view());
        key_.clear();
    }

    // The acceptance test: every brace closed, and no value or key left over. An open quote or a
    // pending brace with nothing after it adds nothing and is accepted.
    void finish() {
        if (!open_.empty() || !token_.empty() || !key_.empty()) reject();
        if constexpr (requires { handler_.openAtEnd(text_.data()); }) {
            if (inQuotes_) handler_.openAtEnd(text_.data() + quoteStart_);
            if (pending_) handler_.openAtEnd(text_.data() + pendingBrace_);
        }
        handler_.closeObject();  // the root
        handler_.end();
    }

    /// Raises the error that explains best why the text is refused: an open quote swallows all
    /// after it, and an open brace all the values and keys inside it.
    [[noreturn]] void reject() const {
        if (inQuotes_) throw SyntaxError(Fault::UnclosedQuote, quoteStart_);
        if (pending_) throw SyntaxError(Fault::UnclosedBrace, pendingBrace_);
        if (!open_.empty()) throw SyntaxError(Fault::UnclosedBrace, open_.back() >> 1);
        if (!token_.empty()) {
            const std::string_view bytes = token_.view();
            const bool blanks = trimmed(bytes).empty();
            throw SyntaxError(blanks ? Fault::TrailingBlanks : Fault::UnfinishedValue,
                              offsetOf(token_.start()));
        }
        // A key that was never copied may still hold the line breaks the notation drops.
        std::string key;
        for (const char c : key_.view()) {
            if (key.size() == SyntaxError::kKeyShown) break;
            if (kKeepBytes || (c != '\r' && c != '\n')) key += c;
        }
        throw SyntaxError(Fault::KeyWithoutValue, offsetOf(key_.start()), std::move(key));
    }

    const std::string_view text_;
    Handler& handler_;
    /// The open containers below the root, innermost last: the offset of the left brace shifted
    /// left by one, with bit 0 set for an object.
    std::vector<std::uint64_t> open_;
    /// The innermost open container is an object (the root is one).
    bool inObject_ = true;
    /// The key for the next value added to an object, trimmed.
    Token<kKeepBytes> key_;
    /// The bytes collected since the last separator or opening double quote.
    Token<kKeepBytes> token_;
    /// A double quote has opened a value that is not closed yet.
    bool inQuotes_ = false;
    std::uint64_t quoteStart_ = 0;
    /// A left brace has been read and its container's kind is not decided yet.
    bool pending_ = false;
    std::uint64_t pendingBrace_ = 0;
};

}  // namespace kessa::detail
