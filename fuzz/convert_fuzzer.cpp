// Every reader of kessa text agrees with the tree builder on any bytes: the checker accepts and
// refuses the same texts, naming the same fault at the same byte; the streamed conversion writes
// the tree's indented text byte for byte; and the events a KessaHandler receives build the same
// tree again. The findings reader refuses alike, and each finding's bytes are a run of the text
// that describe can word.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "kessa/conversion.h"
#include "kessa/findings.h"
#include "kessa/parser.h"
#include "kessa/reader.h"
#include "kessa/scalar.h"
#include "pelmo/json/node.h"
#include "pelmo/json/text_sink.h"

namespace {

/// What a reader made of the text: accepted, or refused for which fault, where and which key.
struct Verdict {
    bool refused = false;
    kessa::Fault fault{};
    std::uint64_t offset = 0;
    std::string key;

    bool operator==(const Verdict&) const = default;
};

template <class Read>
Verdict verdictOf(Read read) {
    try {
        read();
    } catch (const kessa::SyntaxError& error) {
        return {true, error.fault(), error.offset(), error.key()};
    }
    return {};
}

/// Builds a tree from a reader's events, typing each token as the parser does.
class TreeRebuilder final : public kessa::KessaHandler {
public:
    std::unique_ptr<pelmo::JsonObject> root;

    void key(std::string_view key) override { key_.assign(key); }
    void scalar(std::string_view token) override { add(kessa::makeScalar(token)); }
    void openObject() override {
        if (!root) {
            root = std::make_unique<pelmo::JsonObject>();
            open_.push_back(root.get());
            return;
        }
        open(std::make_unique<pelmo::JsonObject>());
    }
    void openArray() override { open(std::make_unique<pelmo::JsonArray>()); }
    void closeObject() override { close(pelmo::JsonType::Object); }
    void closeArray() override { close(pelmo::JsonType::Array); }
    void end() override {
        require(open_.empty(), "the text ends with every container closed");
        ended_ = true;
    }

    bool ended() const { return ended_; }

private:
    void open(pelmo::JsonNodePtr container) {
        pelmo::JsonNode* node = container.get();
        add(std::move(container));
        open_.push_back(node);
    }
    void close(pelmo::JsonType type) {
        require(!open_.empty() && open_.back()->type == type, "a close matches its open");
        open_.pop_back();
    }
    void add(pelmo::JsonNodePtr node) {
        require(!open_.empty() && !ended_, "a value comes inside an open container");
        pelmo::JsonNode* top = open_.back();
        if (top->type == pelmo::JsonType::Array) {
            static_cast<pelmo::JsonArray*>(top)->push(std::move(node));
        } else {
            static_cast<pelmo::JsonObject*>(top)->add(std::move(key_), std::move(node));
            key_.clear();
        }
    }

    std::vector<pelmo::JsonNode*> open_;
    std::string key_;
    bool ended_ = false;
};

/// Holds each finding to its contract: bytes that are the text's own, at its offset.
class FindingContract final : public kessa::FindingHandler {
public:
    explicit FindingContract(std::string_view text) : text_(text) {}
    void found(const kessa::Finding& finding) override {
        require(finding.offset <= text_.size() &&
                    finding.bytes.size() <= text_.size() - finding.offset &&
                    finding.bytes.data() == text_.data() + finding.offset,
                "a finding's bytes are the text's own at its offset");
        require(!kessa::describe(finding).empty(), "a finding is worded");
    }

private:
    std::string_view text_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::unique_ptr<pelmo::JsonObject> tree;
    const Verdict parsed = verdictOf([&] { tree = kessa::KessaParser().parse(text); });
    const Verdict checked = verdictOf([&] { kessa::checkKessa(text); });
    require(checked.refused == parsed.refused, "the checker and the parser accept alike");
    require(checked == parsed, "the checker and the parser name the same fault, offset and key");

    std::string streamed;
    pelmo::StringSink sink(streamed);
    const Verdict converted = verdictOf([&] { kessa::writeIndentedJson(text, sink); });
    require(converted == parsed, "the conversion refuses as the parser does");

    TreeRebuilder rebuilder;
    const Verdict read = verdictOf([&] { kessa::readKessa(text, rebuilder); });
    require(read == parsed, "readKessa refuses as the parser does");

    FindingContract contract(text);
    const Verdict findings = verdictOf([&] { kessa::checkKessaFindings(text, contract); });
    require(findings == parsed, "the findings reader refuses as the parser does");
    if (parsed.refused) return 0;

    require(streamed == tree->toIndentedString(),
            "the streamed text is the tree's indented text, byte for byte");
    require(rebuilder.ended() && rebuilder.root != nullptr, "an accepted text reports its end");
    require(compactText(*rebuilder.root) == compactText(*tree),
            "the events of readKessa build the parser's tree");
    return 0;
}
