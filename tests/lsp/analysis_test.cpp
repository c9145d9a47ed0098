#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "accepted_texts.h"
#include "kessa/parser.h"
#include "kessa/scalar.h"
#include "lsp/analysis.h"

namespace {

using lsp::SymbolKind;

/// One outline entry as the tests compare it: name, kind and depth, and the bytes of its name
/// and of the whole member.
struct Entry {
    std::string name;
    SymbolKind kind;
    std::size_t depth;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    return out << std::string(entry.depth * 2, ' ') << entry.name << ":"
               << static_cast<int>(entry.kind);
}

std::vector<Entry> entriesOf(const std::vector<lsp::Symbol>& symbols) {
    std::vector<Entry> entries;
    for (const lsp::Symbol& symbol : symbols) {
        entries.push_back({symbol.name, symbol.kind, symbol.depth});
    }
    return entries;
}

/// The model: the tree's members and elements in document order, without recursion.
std::vector<Entry> entriesOfTree(const pelmo::JsonObject& root) {
    struct Pending {
        const pelmo::JsonNode* node;
        std::string name;
        std::size_t depth;
    };
    std::vector<Pending> pending;
    const auto pushChildren = [&pending](const pelmo::JsonNode& node, std::size_t depth) {
        std::vector<Pending> children;
        if (node.type == pelmo::JsonType::Object) {
            for (const auto& [key, value] : static_cast<const pelmo::JsonObject&>(node).members) {
                const std::string& name = static_cast<const pelmo::JsonString&>(*key).value;
                children.push_back({value.get(), name.empty() ? "\"\"" : name, depth});
            }
        } else {
            const auto& elements = static_cast<const pelmo::JsonArray&>(node).elements;
            for (std::size_t i = 0; i < elements.size(); ++i) {
                // Appended: g++ 12 warns wrongly about "[" + string.
                std::string index(1, '[');
                index.append(std::to_string(i)).append(1, ']');
                children.push_back({elements[i].get(), std::move(index), depth});
            }
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    };
    std::vector<Entry> entries;
    pushChildren(root, 0);
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        const pelmo::JsonType type = next.node->type;
        const SymbolKind kind = type == pelmo::JsonType::Object   ? SymbolKind::Object
                                : type == pelmo::JsonType::Array  ? SymbolKind::Array
                                : type == pelmo::JsonType::String ? SymbolKind::String
                                                                  : SymbolKind::Number;
        entries.push_back({next.name, kind, next.depth});
        if (kind == SymbolKind::Object || kind == SymbolKind::Array) {
            pushChildren(*next.node, next.depth + 1);
        }
    }
    return entries;
}

/// The root members of a well-formed text, each as its key and compact JSON.
std::vector<std::string> membersOf(const std::string& text) {
    std::vector<std::string> members;
    const auto root = kessa::KessaParser().parse(text);
    for (const auto& [key, value] : root->members) {
        std::string member;
        key->appendCompact(member);
        member += ':';
        value->appendCompact(member);
        members.push_back(member);
    }
    return members;
}

}  // namespace

// The outline is the JSON's members and elements, nested as the JSON nests, for every accepted
// text of the readers' shared table and for random ones.
TEST(Outline, FollowsTheTree) {
    const std::vector<std::string> texts = acceptedTexts(3000, 3);
    for (const std::string& text : texts) {
        const std::vector<lsp::Symbol> symbols = lsp::outline(text);
        EXPECT_EQ(entriesOf(symbols), entriesOfTree(*kessa::KessaParser().parse(text)))
            << testing::PrintToString(text);
        for (const lsp::Symbol& symbol : symbols) {
            // The name stands at its span, and the member covers its name.
            const std::string_view named =
                std::string_view(text).substr(symbol.nameBegin, symbol.nameEnd - symbol.nameBegin);
            if (symbol.name[0] != '[' && symbol.name != "\"\"") {
                EXPECT_EQ(named.substr(0, symbol.name.size()).size(), symbol.name.size())
                    << testing::PrintToString(text);
            }
            EXPECT_TRUE(symbol.begin <= symbol.nameBegin && symbol.nameEnd <= symbol.end &&
                        symbol.end <= text.size())
                << testing::PrintToString(text) << " " << symbol.name;
        }
    }
}

// Where the outline's members stand, and what a malformed text still shows.
TEST(Outline, Ranges) {
    const struct {
        std::string text;
        std::vector<std::vector<std::uint64_t>> spans;  // begin, end, nameBegin, nameEnd
    } rows[] = {
        {"a=1\n", {{0, 3, 0, 1}}},
        {"  key = \"v\" \n", {{2, 11, 2, 5}}},
        {"s={x=1}\n", {{0, 7, 0, 1}, {3, 6, 3, 4}}},
        {"s={\n1,\n\"2\"\n}\n", {{0, 12, 0, 1}, {4, 5, 4, 5}, {7, 10, 7, 10}}},
        {"=5\n", {{0, 2, 0, 0}}},
        {"a={1}\nb={x=1\n", {{0, 5, 0, 1}, {3, 4, 3, 4}, {6, 13, 6, 7}, {9, 12, 9, 10}}},
    };
    for (const auto& row : rows) {
        std::vector<std::vector<std::uint64_t>> spans;
        for (const lsp::Symbol& symbol : lsp::outline(row.text)) {
            spans.push_back({symbol.begin, symbol.end, symbol.nameBegin, symbol.nameEnd});
        }
        EXPECT_EQ(spans, row.spans) << testing::PrintToString(row.text);
    }
}

// The outline stops 64 levels deep and after 50,000 entries, one step each side of both; a text a
// million levels deep recurses nowhere.
TEST(Outline, Limits) {
    const auto nested = [](std::size_t depth) {  // depth containers, then a scalar
        std::string text = "a=";
        text.append(depth, '{');
        text += "1";
        text.append(depth, '}');
        return text + "\n";
    };
    const auto members = [](std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += "k=1\n";
        return text;
    };
    const struct {
        std::string what;
        std::string text;
        std::size_t symbols;
    } rows[] = {
        {"62 deep", nested(62), 63},
        {"63 deep", nested(63), 64},
        {"64 deep", nested(64), 64},
        {"a million deep", nested(1'000'000), 64},
        {"49,999 members", members(49'999), 49'999},
        {"50,000 members", members(50'000), 50'000},
        {"50,001 members", members(50'001), 50'000},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(lsp::outline(row.text).size(), row.symbols) << row.what;
    }
    EXPECT_EQ(lsp::hoverAt(nested(1'000'000), 1'000'002)->text, "1 (integer)");
}

// A hover tells what a value becomes and why, and a key's path.
TEST(Hover, Texts) {
    const struct {
        std::string text;
        std::uint64_t offset;
        std::string hover;  // empty for none
    } rows[] = {
        {"zip=\"01234\"\n", 6,
         "1234 (integer): the leading zeros of \"01234\" are dropped, quoted or not: it becomes "
         "1234 and cannot stay text"},
        {"zip=\"01234\"\n", 4,
         "1234 (integer): the leading zeros of \"01234\" are dropped, quoted "
         "or not: it becomes 1234 and cannot stay text"},
        {"a=\"a b\"\n", 3, "\"a b\" (string)"},
        {"a=x\ty\n", 2, "\"x\\ty\" (string)"},
        {"pi=3.14159265358979\n", 4,
         "3.141593 (float): \"3.14159265358979\" loses digits (floats keep six decimals at most), "
         "quoted or not: it becomes 3.141593 and cannot stay text"},
        {"server={ports={80,443}\n}\n", 9, "server.ports"},
        {"server={ports={80,443}\n}\n", 19, "443 (integer)"},
        {"server={ports={80,443}\n}\n", 2, "server"},
        {"s={{name=x}}\n", 5, "s[0].name"},
        {"a={x.y=1}\n", 3, "a[\"x.y\"]"},
        {"=5\n", 0, "[\"\"]"},
        {"a=1,2\n", 4,
         "2 (integer): no key is waiting for \"2\", so it goes under the empty key; put key= "
         "before it, or quote a value that holds a comma or braces (there are no comments)"},
        {"a=1\na=2\n", 4,
         "a: the object already has the key \"a\"; most JSON readers keep only "
         "its last value"},
        {"a=1\nb={\n", 2, "1 (integer)"},  // before the fault of a malformed text
        {"a=1\n", 1, ""},
        {"a=1\n", 3, ""},
        {"a={1}\n", 2, ""},
    };
    for (const auto& row : rows) {
        const std::optional<lsp::HoverText> hover = lsp::hoverAt(row.text, row.offset);
        EXPECT_EQ(hover ? hover->text : "", row.hover)
            << testing::PrintToString(row.text) << " at " << row.offset;
    }
}

namespace {

std::vector<lsp::Diagnostic> diagnosticsOf(std::string_view text) {
    lsp::DiagnosticList list;
    lsp::diagnose(text, list);
    return list.take();
}

}  // namespace

// Diagnostics come in document order; a malformed text adds its fault, after the findings
// before it.
TEST(Diagnostics, FindingsAndFault) {
    const std::vector<lsp::Diagnostic> diagnostics = diagnosticsOf("a=007\nb=\xC3\xA9{\n");
    ASSERT_EQ(diagnostics.size(), 3u);
    EXPECT_EQ(diagnostics[0].code, "leading-zeros");
    EXPECT_EQ(diagnostics[0].offset, 2u);
    EXPECT_EQ(diagnostics[0].length, 3u);
    EXPECT_EQ(diagnostics[0].severity, kessa::Severity::Warning);
    EXPECT_EQ(diagnostics[1].code, "discarded-text");
    EXPECT_EQ(diagnostics[2].code, "malformed");
    EXPECT_EQ(diagnostics[2].offset, 10u);
    EXPECT_EQ(diagnostics[2].length, 1u);
    EXPECT_EQ(diagnostics[2].message, "this left brace is never closed");
    EXPECT_EQ(diagnostics[2].severity, kessa::Severity::Error);
    const std::atomic<bool> stale = true;
    lsp::DiagnosticList list;
    EXPECT_THROW(lsp::diagnose("a=007\n", list, &stale), lsp::Superseded);
}

namespace {

/// The members around each text a fix is tried in: they must come through every fix unchanged.
const std::string kBefore = "first=1\nlist={a,\"b c\"}\n";
const std::string kAfter = "last={x=\"1\"}\nend=\"q\"\n";

/// Checks each fix offered for the findings within `problem`, set between kBefore and kAfter:
/// the text stays well-formed, the finding goes, and the members around keep their JSON. The
/// fixed problems, in the order offered.
std::vector<std::string> checkFixes(const std::string& problem, bool wrap = true) {
    const std::string before = wrap ? kBefore : "", after = wrap ? kAfter : "";
    const std::string text = before + problem + after;
    const std::vector<std::string> outer = membersOf(before), inner = membersOf(after);
    std::vector<std::string> fixed;
    for (const lsp::Fix& fix :
         lsp::fixesWithin(text, before.size(), before.size() + problem.size())) {
        const std::string result = lsp::applied(text, fix.edit);
        const std::vector<std::string> members = membersOf(result);
        EXPECT_TRUE(std::equal(outer.begin(), outer.end(), members.begin()))
            << testing::PrintToString(problem) << ": " << fix.title;
        EXPECT_TRUE(std::equal(inner.rbegin(), inner.rend(), members.rbegin()))
            << testing::PrintToString(problem) << ": " << fix.title;
        std::size_t left = 0;
        for (const lsp::Diagnostic& diagnostic : diagnosticsOf(result)) {
            left += diagnostic.code == fix.finding.code() ? 1 : 0;
        }
        std::size_t had = 0;
        for (const lsp::Diagnostic& diagnostic : diagnosticsOf(text)) {
            had += diagnostic.code == fix.finding.code() ? 1 : 0;
        }
        EXPECT_LT(left, had) << testing::PrintToString(problem) << ": " << fix.title;
        fixed.push_back(result.substr(before.size(), result.size() - before.size() - after.size()));
    }
    return fixed;
}

}  // namespace

// Each fix offered does what the finding's words ask, and only that.
TEST(Fixes, EachFindingThatSaysWhatToWrite) {
    const struct {
        std::string problem;
        std::vector<std::string> fixed;
        bool wrap = true;
    } rows[] = {
        {"\xEF\xBB\xBFname=demo\n", {"name=demo\n"}, false},
        {"motd = \"Hello, world\"\n", {"motd =\"Hello, world\"\n"}},
        {"motd=\t \"x y\"\n", {"motd=\"x y\"\n"}},
        {"empty=\nx=1\n", {"empty=\"\"\nx=1\n"}},
        {"empty= \nx=1\n", {"empty=\"\" \nx=1\n"}},
        {"ports={\n80\n443\n}\n", {"ports={\n80,\n443\n}\n"}},
        {"ports={\r\n80\r\n443\r\n}\r\n", {"ports={\r\n80,\r\n443\r\n}\r\n"}},
        {"greeting=Hello {name}, welcome\n", {"greeting=\"Hello {name}, welcome\"\n"}},
        {"greeting=Hello {name}, welcome \r\n", {"greeting=\"Hello {name}, welcome\" \r\n"}},
        {"e={ }\n", {"e={=}\n"}},
        {"a=1\n=\nb=2\n", {"a=1\n\nb=2\n"}},
        {"x={1,,2}\n", {"x={1,2}\n"}},
        {"w={a=}\n", {"w={a=\"\"}\n"}},
        {"t={\"dark blue\" red}\n", {"t={\"dark blue\" ,red}\n"}},
        {"t={\"a\"\"b\"}\n", {"t={\"a\",\"b\"}\n"}},
        {"a=1\n{", {"a=1\n"}, false},
        {"a=1\n\"", {"a=1\n"}, false},
        // No edit says it better, or the edit would break something else.
        {"zip=01234\n", {}},
        {"a=1\na=2\n", {}},
        {"a= \"x\n", {}},
        {"a= \"x\" y\n", {}},
        {"g=Hello {name}, \"welcome\"\n", {"g=Hello {name},\"welcome\"\n"}},
        {"a=b={\n1\n2\n}\n", {"a=\"\"b={\n1\n2\n}\n", "a=b={\n1,\n2\n}\n"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(checkFixes(row.problem, row.wrap), row.fixed)
            << testing::PrintToString(row.problem);
    }
    // A malformed text gets none.
    EXPECT_TRUE(lsp::fixesWithin("motd = \"Hello, world\"\nb={\n", 0, 30).empty());
}

// The same over random texts made of the findings' lines: whatever is offered keeps the
// members around it.
TEST(Fixes, KeepTheMembersAround) {
    const char* lines[] = {"motd = \"Hello, world\"\n",
                           "empty=\n",
                           "x=1\n",
                           "ports={\n80\n443\n}\n",
                           "g=Hello {name}, welcome\n",
                           "a= \"x\n",
                           "\"q\"\n",
                           "k= \"v\"=1\n",
                           "o={\n",
                           "}\n",
                           "z=0x1F\n",
                           "e={ }\n",
                           "=\n",
                           "x={1,,2}\n",
                           "t={\"a\"\"b\" c}\n",
                           "w={a=}\n"};
    std::mt19937 random(5);
    for (int round = 0; round < 400; ++round) {
        std::string problem;
        for (int i = 1 + random() % 4; i > 0; --i) problem += lines[random() % std::size(lines)];
        try {
            kessa::checkKessa(kBefore + problem + kAfter);
        } catch (const kessa::SyntaxError&) {
            continue;
        }
        checkFixes(problem);
    }
}
