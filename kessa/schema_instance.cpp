// Builds the instance a schema checks from the reader's events, keeping each value's place. The
// machine's views are runs of the text here, so every place is an offset into it.

#include "kessa/schema_instance.h"

#include <limits>
#include <stdexcept>
#include <unordered_set>

#include "kessa/read_machine.h"
#include "kessa/scalar.h"

namespace kessa::detail {

class InstanceBuilder {
public:
    static constexpr bool kKeepBytes = false;

    explicit InstanceBuilder(Instance& instance) : out_(instance) {}

    void key(std::string_view span) {
        keySize_ = static_cast<std::uint32_t>(std::min<std::size_t>(span.size(), UINT32_MAX));
        keyBegin_ = span.empty() ? equals_ : offsetOf(span.data());
        // A value that no equals sign gave a key: its empty key stands where the value does.
        keyAtValue_ = span.empty() && !keyGiven_;
        keyGiven_ = false;
        hasKey_ = true;
        // Keys are short: a branchless pass beats a search.
        bool dropped = false;
        for (const char c : span) dropped |= (c == '\r') | (c == '\n');
        keyWhole_ = !dropped;
    }

    void scalar(std::string_view span) {
        Instance::Node& node = add();
        std::string_view bytes = span;
        if (quoted_) {
            node.begin = quoteOpen_;
            node.end = quoteClose_ + 1;
            node.flags |= Instance::kQuoted;
            bytes = out_.text_.substr(quoteOpen_ + 1, quoteClose_ - quoteOpen_ - 1);
            quoted_ = false;
        } else {
            node.begin = offsetOf(span.data());
            node.end = node.begin + span.size();
        }
        if (keyAtValue_) node.keyBegin = node.begin;
        const std::string_view kept =
            keptBytes(bytes, (node.flags & Instance::kQuoted) != 0, buffer_);
        if (kept.data() == bytes.data()) node.flags |= Instance::kValueWhole;
        const Scalar scalar = typeAsWritten(kept);
        node.type = scalar.type;
        if (scalar.type == pelmo::JsonType::Integer) {
            node.integer = scalar.integer;
        } else if (scalar.type == pelmo::JsonType::Float) {
            node.number = scalar.number;
        }
    }

    void openObject() { open(pelmo::JsonType::Object); }
    void openArray() { open(pelmo::JsonType::Array); }
    void closeObject() { close(); }
    void closeArray() { close(); }
    void end() {}

    void equalsSign(const char* at, std::string_view, std::string_view, bool) {
        equals_ = offsetOf(at);
        keyGiven_ = true;
    }
    void quotedValue(const char* open, const char* close) {
        quoted_ = true;
        quoteOpen_ = offsetOf(open);
        quoteClose_ = offsetOf(close);
    }
    void openingBrace(const char* at) { brace_ = offsetOf(at); }
    void rightBrace(const char* at) { rightBrace_ = offsetOf(at); }

private:
    struct Open {
        std::uint32_t node;
        std::size_t firstEntry;  // in entries_
    };

    std::uint64_t offsetOf(const char* at) const {
        return static_cast<std::uint64_t>(at - out_.text_.data());
    }

    /// A new node, an entry of the innermost open container, with the pending key if it has one.
    Instance::Node& add() {
        if (out_.nodes_.size() == std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("too many values to check against a schema");
        }
        const auto index = static_cast<std::uint32_t>(out_.nodes_.size());
        Instance::Node& node = out_.nodes_.emplace_back();
        node.first = 0;
        node.count = 0;
        node.kept = 0;
        node.flags = 0;
        node.keyBegin = 0;
        node.keySize = 0;
        if (!open_.empty()) entries_.push_back(index);
        if (hasKey_) {
            node.flags |= keyWhole_ ? Instance::kHasKey | Instance::kKeyWhole : Instance::kHasKey;
            node.keyBegin = keyBegin_;
            node.keySize = keySize_;
            hasKey_ = false;
        } else {
            keyAtValue_ = false;
        }
        return node;
    }

    void open(pelmo::JsonType type) {
        const bool root = out_.nodes_.empty();
        Instance::Node& node = add();
        node.type = type;
        node.begin = root ? 0 : brace_;
        node.end = out_.text_.size();
        if (keyAtValue_) node.keyBegin = node.begin;
        open_.push_back({out_.indexOf(node), entries_.size()});
        out_.depth_ = std::max(out_.depth_, open_.size());
    }

    void close() {
        const Open open = open_.back();
        open_.pop_back();
        Instance::Node& node = out_.nodes_[open.node];
        if (!open_.empty()) node.end = rightBrace_ + 1;
        node.first = out_.children_.size();
        node.count = static_cast<std::uint32_t>(entries_.size() - open.firstEntry);
        out_.children_.insert(out_.children_.end(),
                              entries_.begin() + static_cast<std::ptrdiff_t>(open.firstEntry),
                              entries_.end());
        entries_.resize(open.firstEntry);
        if (node.type == pelmo::JsonType::Object) shadowRepeatedKeys(node);
    }

    /// Marks each member whose key comes again later in its object: a JSON reader keeps the last.
    void shadowRepeatedKeys(Instance::Node& object) {
        const std::span<const std::uint32_t> members = out_.entries(object);
        object.kept = object.count;
        if (members.size() < 2) return;
        std::string a;
        if (members.size() <= 16) {
            // Most keys are the runs of text they stand in; a copy only where a byte is dropped.
            std::string_view keys[16];
            std::string copies[16];
            for (std::size_t i = 0; i < members.size(); ++i) {
                keys[i] = out_.key(out_.nodes_[members[i]], copies[i]);
            }
            for (std::size_t i = 0; i + 1 < members.size(); ++i) {
                for (std::size_t j = i + 1; j < members.size(); ++j) {
                    if (keys[j].size() == keys[i].size() && keys[j] == keys[i]) {
                        out_.nodes_[members[i]].flags |= Instance::kShadowed;
                        --object.kept;
                        break;
                    }
                }
            }
            return;
        }
        std::unordered_set<std::string_view> later;
        std::vector<std::string> copies;  // keys the line breaks of a pending brace split
        for (std::size_t i = members.size(); i-- != 0;) {
            Instance::Node& member = out_.nodes_[members[i]];
            std::string_view key = out_.key(member, a);
            if (key.data() == a.data()) key = copies.emplace_back(a);
            if (!later.insert(key).second) {
                member.flags |= Instance::kShadowed;
                --object.kept;
            }
        }
    }

    Instance& out_;
    std::vector<Open> open_;
    std::vector<std::uint32_t> entries_;  // of the open containers, innermost last
    std::string buffer_;
    std::uint64_t keyBegin_ = 0, equals_ = 0, brace_ = 0, rightBrace_ = 0;
    std::uint64_t quoteOpen_ = 0, quoteClose_ = 0;
    std::uint32_t keySize_ = 0;
    bool hasKey_ = false, keyGiven_ = false, keyAtValue_ = false, quoted_ = false;
    bool keyWhole_ = false;
};

Instance::Instance(std::string_view text) : text_(text) {
    // Room for a value every eight bytes, about what configuration holds, reserved rather than
    // grown: growing copies the nodes over and over, which took half the time.
    const std::size_t expected = text.size() / 8 + 16;
    nodes_.reserve(expected);
    children_.reserve(expected);
    InstanceBuilder builder(*this);
    ReadMachine<InstanceBuilder>(text, builder).run();
}

std::string_view Instance::key(const Node& node, std::string& buffer) const {
    if ((node.flags & kKeyWhole) != 0) return text_.substr(node.keyBegin, node.keySize);
    return keptBytes(text_.substr(node.keyBegin, node.keySize), false, buffer);
}

std::string_view Instance::string(const Node& node, std::string& buffer) const {
    if ((node.flags & kValueWhole) != 0) return written(node);
    return keptBytes(written(node), (node.flags & kQuoted) != 0, buffer);
}

std::string_view Instance::written(const Node& node) const {
    if ((node.flags & kQuoted) != 0) return text_.substr(node.begin + 1, node.end - node.begin - 2);
    return text_.substr(node.begin, node.end - node.begin);
}

}  // namespace kessa::detail
