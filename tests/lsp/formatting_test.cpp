#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "accepted_texts.h"
#include "kessa/conversion.h"
#include "kessa/format.h"
#include "lsp/formatting.h"

namespace {

/// `text` with `edits`, in order and apart, applied.
std::string appliedAll(std::string text, const std::vector<lsp::Edit>& edits) {
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
        text.replace(edit->begin, edit->end - edit->begin, edit->text);
    }
    return text;
}

/// The lines of `text` that `edits` replace: the first (from 0) and how many, for each.
std::vector<std::pair<int, int>> linesReplaced(std::string_view text,
                                               const std::vector<lsp::Edit>& edits) {
    const auto lineOf = [text](std::uint64_t offset) {
        return static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
    };
    std::vector<std::pair<int, int>> lines;
    for (const lsp::Edit& edit : edits) {
        lines.emplace_back(lineOf(edit.begin), lineOf(edit.end) - lineOf(edit.begin));
    }
    return lines;
}

std::string crLf(std::string_view text) {
    std::string out;
    for (const char c : text) out.append(c == '\n' ? "\r\n" : std::string(1, c));
    return out;
}

/// The model of a layout kept with carriage returns: each line given one where it has none.
std::string withCarriageReturns(std::string_view layout) {
    std::string out;
    for (std::size_t at = 0; at < layout.size();) {
        std::size_t end = layout.find('\n', at);
        if (end == std::string_view::npos) end = layout.size();
        out.append(layout.substr(at, end - at));
        if (end < layout.size()) out.append(end > at && layout[end - 1] == '\r' ? "\n" : "\r\n");
        at = end + 1;
    }
    return out;
}

std::string json(std::string_view text) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(text, sink);
    return out;
}

// A document of nested objects and an array of objects, none of it in the layout.
const std::string kNested =
    "a=1\n"
    "srv={\n"
    "  host=h\n"
    "  tls={\n"
    "      on=1\n"
    "  }\n"
    "}\n"
    "list={{\n"
    "  x=1\n"
    "  }\n"
    "  ,{\n"
    "      y=2\n"
    "  }\n"
    "}\n";

}  // namespace

// Which lines a range formats, and what they become: the smallest container around it that
// stands on lines of its own in the text and in the layout, else the one around that.
TEST(Formatting, RangeChoiceAndEdits) {
    const struct {
        const char* name;
        std::string text;
        // The range: from the first of `from` to the end of the next `to`; "$", the text's end.
        std::string from, to;
        bool whole;                              // the whole document, whatever the range
        std::vector<std::pair<int, int>> lines;  // replaced
        std::string result;
    } rows[] = {
        {"the whole document",
         kNested,
         "",
         "",
         true,
         {{2, 4}, {8, 5}},
         kessa::formatKessa(kNested)},
        {"inside a nested object: its lines alone",
         kNested,
         "on",
         "=1",
         false,
         {{3, 3}},
         "a=1\nsrv={\n  host=h\n    tls={\n        on=1\n    }\n}\nlist={{\n  x=1\n  }\n  ,{\n"
         "      y=2\n  }\n}\n"},
        {"a cursor at the start of an object's line: that object, not the one before",
         "p={\n  q=1\n}\nr={\n  s=2\n}\n",
         "r=",
         "",
         false,
         {{4, 1}},
         "p={\n  q=1\n}\nr={\n    s=2\n}\n"},
        {"a cursor at the end of a text without a final line feed: the object there",
         "z= 1\nr={\n  s=2\n}",
         "$",
         "",
         false,
         {{2, 1}},
         "z= 1\nr={\n    s=2\n}\n"},
        {"whole lines selected, to the start of the next: the object they hold",
         "p={\n  q=1\n}\nr={\n  s=2\n}\n",
         "p",
         "}\n",
         false,
         {{1, 1}},
         "p={\n    q=1\n}\nr={\n  s=2\n}\n"},
        {"inside an array element with its comma: the element",
         kNested,
         "y",
         "",
         false,
         {{10, 3}},
         "a=1\nsrv={\n  host=h\n  tls={\n      on=1\n  }\n}\nlist={{\n  x=1\n  }\n    ,{\n"
         "        y=2\n    }\n}\n"},
        {"inside the first element, which the layout puts on the array's line: the array",
         kNested,
         "x=1",
         "",
         false,
         {{8, 5}},
         "a=1\nsrv={\n  host=h\n  tls={\n      on=1\n  }\n}\nlist={{\n        x=1\n    }\n"
         "    ,{\n        y=2\n    }\n}\n"},
        {"an element whose comma ends the line before: the array, or the comma would double",
         "list={{x=1},\n{y=2\n}\n}\n",
         "y",
         "",
         false,
         {{0, 3}},
         kessa::formatKessa("list={{x=1},\n{y=2\n}\n}\n")},
        {"across two members: the object that holds both",
         kNested,
         "host",
         "on",
         false,
         {{2, 4}},
         "a=1\nsrv={\n    host=h\n    tls={\n        on=1\n    }\n}\nlist={{\n  x=1\n  }\n"
         "  ,{\n      y=2\n  }\n}\n"},
        {"across two members of the root: the whole document",
         kNested,
         "a=1",
         "srv",
         false,
         {{2, 4}, {8, 5}},
         kessa::formatKessa(kNested)},
        {"a container whose brace shares its line: the one around it",
         "p={q={r=1}}\nz=2\n",
         "r",
         "",
         false,
         {{0, 1}},
         "p={\n    q={\n        r=1\n    }\n}\nz=2\n"},
        {"in the layout already: no edits",
         "p={\n    q=1\n}\n",
         "q",
         "",
         false,
         {},
         "p={\n    q=1\n}\n"},
        {"carriage returns and line feeds stay so",
         crLf(kNested),
         "on",
         "",
         false,
         {{3, 3}},
         crLf("a=1\nsrv={\n  host=h\n    tls={\n        on=1\n    }\n}\nlist={{\n  x=1\n  }\n"
              "  ,{\n      y=2\n  }\n}\n")},
        {"carriage returns and line feeds, the whole document",
         crLf(kNested),
         "",
         "",
         true,
         {{2, 4}, {8, 5}},
         crLf(kessa::formatKessa(kNested))},
        {"a line feed alone among them: line feeds alone",
         "a=1\r\nb={\r\nc=\"x\ny\"\r\n}\r\n",
         "",
         "",
         true,
         {{0, 5}},
         "a=1\nb={\n    c=\"x\ny\"\n}\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<lsp::Edit> edits;
        if (row.whole) {
            edits = lsp::formattingEdits(row.text, {});
        } else {
            const std::size_t begin = row.from == "$" ? row.text.size() : row.text.find(row.from);
            const std::size_t end =
                row.to.empty() ? begin : row.text.find(row.to, begin) + row.to.size();
            ASSERT_NE(begin, std::string::npos);
            edits = lsp::rangeFormattingEdits(row.text, begin, end, {});
        }
        EXPECT_EQ(linesReplaced(row.text, edits), row.lines);
        EXPECT_EQ(appliedAll(row.text, edits), row.result);
    }
}

/// An object nested `depth` deep, which lays out to about 4 * depth * depth bytes.
std::string nested(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "a={";
    return text.append(depth, '}') + "\n";
}

// A malformed text gets no edits but the fault; one whose layout would be far larger than the
// text, none but the reason.
TEST(Formatting, Refused) {
    const struct {
        std::string text;
        bool malformed;
    } rows[] = {
        {"a={\n", true},
        {"a=1", true},
        {"a={b=1\n}}\n", true},
        {nested(6000), false},
    };
    for (const auto& row : rows) {
        for (const bool range : {false, true}) {
            const auto edits = [&] {
                return range ? lsp::rangeFormattingEdits(row.text, 0, 0, {})
                             : lsp::formattingEdits(row.text, {});
            };
            if (row.malformed) {
                EXPECT_THROW(edits(), kessa::SyntaxError) << row.text;
            } else {
                EXPECT_THROW(edits(), lsp::FormattedTooLarge) << row.text.size();
            }
        }
    }
    EXPECT_EQ(appliedAll(nested(1000), lsp::formattingEdits(nested(1000), {})),
              kessa::formatKessa(nested(1000)));
}

// Whatever the text and the range: the edits are in order, apart and of whole lines; those of
// the whole document give its layout (with its carriage returns where every line has one), and
// those of a range a text that lays out as the whole one does, and so converts to the same JSON.
TEST(Formatting, PropertiesOverAcceptedTexts) {
    // Each formatting takes a megabyte's buffer, which a sanitizer maps and clears anew: a few
    // ranges a text, at random places, keep the sanitized runs short; the fuzzer tries more.
    const std::vector<std::string> texts = acceptedTexts(500, 5);
    std::mt19937 random(9);
    for (const std::string& accepted : texts) {
        for (const std::string& text : {accepted, crLf(accepted)}) {
            SCOPED_TRACE(testing::PrintToString(text));
            const std::string layout = kessa::formatKessa(text);
            const auto count = [&text](std::string_view what) {
                std::size_t n = 0;
                for (std::size_t at = text.find(what); at != std::string::npos;
                     at = text.find(what, at + 1)) {
                    ++n;
                }
                return n;
            };
            const bool crLines = count("\n") != 0 && count("\r\n") == count("\n");
            const auto wholeLines = [&text](const std::vector<lsp::Edit>& edits) {
                std::uint64_t last = 0;
                for (const lsp::Edit& edit : edits) {
                    ASSERT_LE(last, edit.begin);
                    ASSERT_LE(edit.begin, edit.end);
                    ASSERT_TRUE(edit.begin == 0 || text[edit.begin - 1] == '\n');
                    ASSERT_TRUE(edit.end == 0 || edit.end == text.size() ||
                                text[edit.end - 1] == '\n')
                        << edit.begin << "-" << edit.end;
                    last = edit.end;
                }
            };
            const std::vector<lsp::Edit> edits = lsp::formattingEdits(text, {});
            wholeLines(edits);
            ASSERT_EQ(appliedAll(text, edits), crLines ? withCarriageReturns(layout) : layout);
            const std::string converted = json(text);
            for (int place = 0; place < 2; ++place) {
                const std::size_t begin = random() % (text.size() + 1);
                for (const std::size_t end :
                     {begin, begin + random() % (text.size() - begin + 1)}) {
                    const std::vector<lsp::Edit> range =
                        lsp::rangeFormattingEdits(text, begin, end, {});
                    wholeLines(range);
                    const std::string result = appliedAll(text, range);
                    ASSERT_EQ(kessa::formatKessa(result), layout) << begin << "-" << end;
                    ASSERT_EQ(json(result), converted) << begin << "-" << end;
                }
            }
        }
    }
}
