// Embeds the kessa reader in a program of its own: parses kessa text held in memory, looks at the
// top-level members of the tree, and writes the tree's compact and binary forms; then streams the
// indented JSON of a large text into a sink of its own, in memory bounded by the nesting depth;
// and checks a text against a JSON Schema.

#include <cstdio>
#include <string>

#include "kessa/conversion.h"
#include "kessa/parser.h"
#include "kessa/reader.h"
#include "kessa/schema.h"
#include "pelmo/exception.h"
#include "pelmo/json/byte_writer.h"
#include "pelmo/json/node.h"

namespace {

const char* kindName(pelmo::JsonType type) {
    switch (type) {
        case pelmo::JsonType::Integer:
            return "integer";
        case pelmo::JsonType::Float:
            return "float";
        case pelmo::JsonType::String:
            return "string";
        case pelmo::JsonType::Array:
            return "array";
        case pelmo::JsonType::Object:
            return "object";
    }
    return "unknown";
}

/// One line per top-level member: its key, its kind, and its compact text or its size.
void listMembers(const pelmo::JsonObject& root) {
    for (const auto& [key, value] : root.members) {
        // A key is always a JsonString; its bytes are the key as written, not escaped.
        const std::string& name = static_cast<const pelmo::JsonString&>(*key).value;
        std::printf("%-6s %-8s", name.c_str(), kindName(value->type));
        if (value->type == pelmo::JsonType::Object) {
            const auto& object = static_cast<const pelmo::JsonObject&>(*value);
            std::printf("%zu members\n", object.members.size());
        } else if (value->type == pelmo::JsonType::Array) {
            const auto& array = static_cast<const pelmo::JsonArray&>(*value);
            std::printf("%zu elements\n", array.elements.size());
        } else {
            std::string text;
            value->appendCompact(text);
            std::printf("%s\n", text.c_str());
        }
    }
}

/// The bytes of `bytes` in hexadecimal, sixteen to a line.
void printHex(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char* separator = (i + 1) % 16 == 0 || i + 1 == bytes.size() ? "\n" : " ";
        std::printf("%02x%s", static_cast<unsigned char>(bytes[i]), separator);
    }
}

/// Takes the indented text a chunk at a time, as a file or a socket would, and keeps only counts
/// and the first line break.
class CountingSink final : public pelmo::TextSink {
public:
    void write(const char* data, std::size_t size) override {
        ++chunks;
        bytes += size;
        for (std::size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    }
    std::size_t chunks = 0, bytes = 0, lines = 0;
};

/// Streams the indented JSON of a large text: checked first, so that a malformed text writes
/// nothing, then written as it is read, without a tree.
void stream() {
    std::string text;
    for (int i = 0; i < 100'000; ++i) {
        text.append("item").append(std::to_string(i)).append("={x=1.5,tags={a,b}}\n");
    }
    kessa::checkKessa(text);  // raises kessa::SyntaxError, naming the fault and where it is
    CountingSink sink;
    kessa::writeIndentedJson(text, sink);
    std::printf("streamed: %zu bytes of kessa, %zu of JSON in %zu chunks, %zu lines\n", text.size(),
                sink.bytes, sink.chunks, sink.lines + 1);

    try {
        kessa::checkKessa("a=1\nbox={w=10\n");
    } catch (const kessa::SyntaxError& error) {
        std::printf("check: at byte %llu: %s\n", static_cast<unsigned long long>(error.offset()),
                    error.describe().c_str());
    }
}

}  // namespace

/// What a configuration becomes, against what the program reading it expects.
void checkAgainstSchema() {
    const kessa::Schema schema = kessa::Schema::parse(
        R"({"properties": {"port": {"type": "integer", "maximum": 65535},
                          "version": {"type": "string"}}})",
        "service.schema.json");  // Schema::load reads a file
    struct Print final : kessa::FindingHandler {
        void found(const kessa::Finding& finding) override {
            std::printf("schema: %.*s at %.*s (%.*s): %s\n",
                        static_cast<int>(finding.code().size()), finding.code().data(),
                        static_cast<int>(finding.pointer.size()), finding.pointer.data(),
                        static_cast<int>(finding.keyword.size()), finding.keyword.data(),
                        kessa::describe(finding).c_str());
        }
    } print;
    kessa::checkSchemaFindings("port=70000\nversion=2.10\n", schema, print);
}

int main() {
    const std::string text =
        "name=demo\n"
        "size=3\n"
        "ratio=0.75\n"
        "box={w=10\n"
        "h=20\n"
        "}\n"
        "tags={red,\"dark blue\",7}\n";

    kessa::KessaParser parser;
    const auto root = parser.parse(text);  // raises pelmo::Exception for malformed text
    listMembers(*root);

    std::string compact;
    root->appendCompact(compact);
    std::printf("compact: %s\n", compact.c_str());

    std::string binary;
    pelmo::StringByteWriter writer(binary);
    root->appendBinary(writer);  // a StringByteWriter never fails
    std::printf("binary: %zu bytes\n", binary.size());
    printHex(binary);

    // Malformed text yields no tree at all, only the exception; the parser can be used again.
    try {
        parser.parse("box={w=10\n");
    } catch (const pelmo::Exception& failure) {
        std::printf("rejected: %s\n", failure.what());
    }

    stream();
    checkAgainstSchema();
    return 0;
}
