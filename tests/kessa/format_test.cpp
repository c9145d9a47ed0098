// The layout, decided once: each row is a text and what formatting makes of it. Every row is
// also held to the formatter's promise, that the JSON stays the same byte for byte and that
// formatting again changes nothing.

#include <gtest/gtest.h>

#include <string>

#include "kessa/conversion.h"
#include "kessa/format.h"
#include "kessa/writer.h"
#include "pelmo/json/text_sink.h"

namespace {

std::string json(std::string_view text) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(text, sink);
    return out;
}

const struct {
    std::string_view input, formatted;
} kLayout[] = {
    // Lines, blanks and line ends
    {"", ""},
    {"\n\n", ""},
    {"a=1\n", "a=1\n"},
    {"  a  =  1  \r\n", "a=1\n"},
    {"a=1\n\n\n\nb=2\n", "a=1\n\nb=2\n"},
    {"\n \n\ta=1\n \t\nb=2\r\n\r\nc=3\n\n", "a=1\n\nb=2\n\nc=3\n"},
    {"a=1\nb=2\n", "a=1\nb=2\n"},
    {"a=1,b=2\n", "a=1\nb=2\n"},
    {"a=1,2\n", "a=1\n,2\n"},  // 2 is a value with no key waiting: the comma says so
    {"a=1\na=2\n", "a=1\na=2\n"},
    {"a=\"x\ny\"\n", "a=\"x\ny\"\n"},
    {"a=007\nb=1.10\nc=\"1e3\"\n", "a=007\nb=1.10\nc=\"1e3\"\n"},  // values keep their text
    {"a=\"x\ty\"\n", "a=\"x\ty\"\n"},
    {"a=\"x\r\ny\"\r\n", "a=\"x\r\ny\"\n"},
    // Objects: opened on the key's line, closed on a line of their own
    {"box={w=10\nh=20\n}\n", "box={\n    w=10\n    h=20\n}\n"},
    {"box={\n\n  w=10\n\n\n  h=20\n\n}\n", "box={\n    w=10\n\n    h=20\n}\n"},
    {"a={b={c=1}}\n", "a={\n    b={\n        c=1\n    }\n}\n"},
    {"e={=}\n", "e={=}\n"},
    {"e={ = }\n", "e={=}\n"},
    {"o={=1}\n", "o={\n    =1\n}\n"},
    {"o={=\nk=1}\n", "o={=\n    k=1\n}\n"},
    {"o={k=1,\"x y\"}\n", "o={\n    k=1\n    ,\"x y\"\n}\n"},
    {"o={a=1\n \"k\"=2\n}\n", "o={\n    a=1\n    \"k\"=2\n}\n"},
    // Arrays: on one line while they fit, else one element a line after a comma
    {"tags={red,\"dark blue\",7}\n", "tags={red,\"dark blue\",7}\n"},
    {"t={ 1 , 2 ,3 }\n", "t={1,2,3}\n"},
    {"t={1,\n2\n3}\n", "t={1,2,3}\n"},
    {"e={ }\n", "e={}\n"},
    {"e={,1}\n", "e={\"\",1}\n"},
    {"hosts={alpha.example.com,beta.example.com,gamma.example.com,delta.example.com,e.io}\n",
     "hosts={alpha.example.com\n    ,beta.example.com\n    ,gamma.example.com\n"
     "    ,delta.example.com\n    ,e.io\n}\n"},
    {"n={\"Ann Lee\",\"Bo Ng\",\"Cy Twombly\",\"Dee Dee Ramone\",\"Ed Wood\",\"Flo Jo\",\"Gil "
     "Scott\"}\n",
     "n={\"Ann Lee\"\n    ,\"Bo Ng\"\n    ,\"Cy Twombly\"\n    ,\"Dee Dee Ramone\"\n    ,\"Ed "
     "Wood\"\n"
     "    ,\"Flo Jo\"\n    ,\"Gil Scott\"\n}\n"},
    {"s={{a=1},{a=2}}\n", "s={{\n        a=1\n    }\n    ,{\n        a=2\n    }\n}\n"},
    {"m={{1,2},{3,4}}\n", "m={{1,2}\n    ,{3,4}\n}\n"},
    {"q={\"two\nlines\",x}\n", "q={\"two\nlines\"\n    ,x\n}\n"},
    {"a={1,x=2}\nb=3\n", "a={1,x=2}\nb=3\n"},  // the key waits past the array
    // Where the layout was the trap: the result gives the same JSON and shows what it is
    {"motd = \"Hello, world\"\n", "motd= \"Hello\n,world\"\n"},
    {"ports={\n80\n443\n}\n", "ports={80443}\n"},
    {"a={1,,2}\n", "a={1,2}\n"},
    {"t={\"dark blue\" red}\n", "t={\"dark blue\",red}\n"},
    {"a=1\n\"", "a=1\n"},
    {"\xEF\xBB\xBF"
     "a=1\n",
     "\xEF\xBB\xBF"
     "a=1\n"},
    {"a={1,\n    \"x y\",\n  2}\n", "a={1, \"x y\",2}\n"},
    // Text the conversion drops stays, so that the check still finds it
    {"empty=\nx=1\n", "empty=\nx=1\n"},
    {"a=b=c\n", "a=\nb=c\n"},
    {"w={a=}\n5\n", "w={\n    a=\n}\n,5\n"},
    {"greeting=Hello {name}, welcome\n", "greeting=Hello {name}\n,welcome\n"},
    {"a=1\nx {", "a=1\nx {\n"},
    {"=\n", "=\n"},
    {" \"k\"=1\n", " \"k\"=1\n"},
};

}  // namespace

TEST(Format, Layout) {
    for (const auto& row : kLayout) {
        const std::string formatted = kessa::formatKessa(row.input);
        EXPECT_EQ(formatted, row.formatted) << "input: " << row.input;
        EXPECT_EQ(json(formatted), json(row.input)) << "input: " << row.input;
        EXPECT_EQ(kessa::formatKessa(formatted), formatted) << "input: " << row.input;
    }
}

// An array joins on one line up to the width, the line's columns counted as characters.
TEST(Format, WidthBoundary) {
    for (const unsigned width : {20u, 80u, 100u}) {
        kessa::Layout layout;
        layout.width = width;
        for (const std::string_view element : {"x", "\xC3\xA9", "\"q q\""}) {
            // k={e,e,...}: 4 columns, then the elements and their commas.
            std::string text = "k={";
            std::size_t columns = 4;
            const std::size_t size = element.front() == '"' ? 5 : 1;
            for (bool first = true; columns + size + (first ? 0 : 1) <= width; first = false) {
                if (!first) text += ',';
                text += element;
                columns += size + (first ? 0 : 1);
            }
            text += "}\n";
            EXPECT_EQ(kessa::formatKessa(text, layout), text) << text;
            // One element more does not fit.
            const std::string longer =
                text.substr(0, text.size() - 2) + "," + std::string(element) + "}\n";
            EXPECT_NE(kessa::formatKessa(longer, layout).find('\n'), longer.size() - 1) << longer;
        }
    }
}

TEST(Format, IndentOptions) {
    const std::string_view text = "a={b={c={1,2}}}\n";
    kessa::Layout tabs;
    tabs.tabs = true;
    EXPECT_EQ(kessa::formatKessa(text, tabs), "a={\n\tb={\n\t\tc={1,2}\n\t}\n}\n");
    kessa::Layout two;
    two.indent = 2;
    EXPECT_EQ(kessa::formatKessa(text, two), "a={\n  b={\n    c={1,2}\n  }\n}\n");
}

// The writer's own events, as JSON to kessa gives them: an object whose first key holds a double
// quote opens with an equals sign that makes it one; a first item with no key takes the empty
// key, as the reader gives it. The formatter keeps either.
TEST(Format, WriterOpensObjectsThatNeedIt) {
    const auto write = [](auto events) {
        std::string out;
        pelmo::StringSink sink(out);
        kessa::KessaWriter writer(sink);
        events(writer);
        writer.finish();
        return out;
    };
    EXPECT_EQ(write([](kessa::KessaWriter& w) {
                  w.key("o");
                  w.openObject();
                  w.key("a\"b");
                  w.value("1", false);
                  w.close();
              }),
              "o={=\n    a\"b=1\n}\n");
    EXPECT_EQ(write([](kessa::KessaWriter& w) {
                  w.key("o");
                  w.openObject();
                  w.value("1", false);
                  w.close();
              }),
              "o={\n    =1\n}\n");
    EXPECT_EQ(write([](kessa::KessaWriter& w) {
                  w.key("o");
                  w.openObject();
                  w.close();
              }),
              "o={=}\n");
    for (const std::string_view text : {"o={=\n    a\"b=1\n}\n", "o={\n    =1\n}\n"}) {
        EXPECT_EQ(kessa::formatKessa(text), text);
    }
}

// Indentation past what the writer copies in one piece: each level one unit more, however deep.
TEST(Format, DeepIndentation) {
    for (const bool tabs : {false, true}) {
        kessa::Layout layout;
        layout.tabs = tabs;
        const std::size_t depth = 70;  // past 64 tabs too
        std::string text, expected;
        const auto indent = [&](std::size_t level) {
            return tabs ? std::string(level, '\t') : std::string(4 * level, ' ');
        };
        for (std::size_t i = 0; i != depth; ++i) {
            text.append("k=").append("{");
            expected.append(indent(i)).append("k={\n");
        }
        text.append("v=1\n").append(depth, '}').append("\n");
        expected.append(indent(depth)).append("v=1\n");
        for (std::size_t i = depth; i != 0; --i) expected.append(indent(i - 1)).append("}\n");
        EXPECT_EQ(kessa::formatKessa(text, layout), expected);
    }
    // Deeper, a layout in memory would take gigabytes: it stops at its bound, with the reason.
    std::string deep;
    for (int i = 0; i != 6000; ++i) deep += "k={";
    deep.append(6000, '}');
    EXPECT_THROW(kessa::formatKessa(deep), pelmo::OutputTooLarge);
}
