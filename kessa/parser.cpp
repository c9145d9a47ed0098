#include "kessa/parser.h"

#include <string>
#include <vector>

#include "kessa/read_machine.h"
#include "kessa/scalar.h"

namespace kessa {

namespace {

using pelmo::JsonType;

/// Builds the tree as the reader reports it. Nodes never move, so the stack of open containers
/// stays valid while the tree grows.
class TreeBuilder {
public:
    std::unique_ptr<pelmo::JsonObject> root;

    void key(std::string_view bytes) { key_.assign(bytes); }
    void scalar(std::string_view token) { add(makeScalar(token)); }
    void openObject() {
        if (!root) {
            root = std::make_unique<pelmo::JsonObject>();
            open_.push_back(root.get());
            return;
        }
        open(std::make_unique<pelmo::JsonObject>());
    }
    void openArray() { open(std::make_unique<pelmo::JsonArray>()); }
    void closeObject() { open_.pop_back(); }
    void closeArray() { open_.pop_back(); }
    void end() {}

private:
    void open(pelmo::JsonNodePtr container) {
        pelmo::JsonNode* node = container.get();
        add(std::move(container));
        open_.push_back(node);
    }

    /// Appends `node` to the innermost array, or to the innermost object under the key the
    /// reader gave just before it.
    void add(pelmo::JsonNodePtr node) {
        pelmo::JsonNode* top = open_.back();
        if (top->type == JsonType::Array) {
            static_cast<pelmo::JsonArray*>(top)->push(std::move(node));
        } else {
            static_cast<pelmo::JsonObject*>(top)->add(std::move(key_), std::move(node));
            key_.clear();
        }
    }

    /// The open containers, innermost last; the root is at the bottom. Not owning.
    std::vector<pelmo::JsonNode*> open_;
    std::string key_;
};

}  // namespace

std::unique_ptr<pelmo::JsonObject> KessaParser::parse(std::string_view text) {
    TreeBuilder builder;
    detail::ReadMachine<TreeBuilder>(text, builder).run();
    return std::move(builder.root);
}

}  // namespace kessa
