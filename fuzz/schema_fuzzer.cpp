// The schema loader over schema texts, each then checking a fixed document: a schema is refused
// with SchemaError or used, and never crashes, hangs or leaks, whatever the text.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kessa/schema.h"

namespace {

/// A document with a value of each kind, repeated keys and nesting, for each schema to check.
constexpr std::string_view kDocument =
    "name=web\nport=8080\nratio=0.5\nmode=fast\ntags={a,b,a}\nlimits={cpu=1,memory=x}\n"
    "empty={}\nnone={=}\nport=1\nlist={{1},{x=2}}\n\"text\"\n";

struct Discard final : kessa::FindingHandler {
    void found(const kessa::Finding& finding) override {
        // Every finding is placed within the document and worded.
        if (finding.offset + finding.bytes.size() > kDocument.size()) __builtin_trap();
        if (kessa::describe(finding).empty()) __builtin_trap();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const kessa::Schema schema = kessa::Schema::parse(text, "fuzz.json");
        Discard discard;
        kessa::checkSchemaFindings(kDocument, schema, discard);
        (void)schema.hint({std::string("limits"), std::string("cpu")});
        (void)schema.properties({});
    } catch (const kessa::SchemaError&) {
    }
    return 0;
}
