// A peer for bench/run.sh: what a program built on a plain C++ JSON library does to produce the
// same indented text as kessa2json. It reads the equivalent JSON whole, parses it into a DOM,
// pretty-prints it with four-space indentation and writes the text in one piece.
//
//   rapidjson_pretty IN.json OUT.json

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: rapidjson_pretty IN.json OUT.json\n", stderr);
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    rapidjson::Document document;
    // The default settings, as a typical user would leave them; the workloads' decimals read back
    // exactly with them, and bench/run.sh checks every byte of the result.
    document.Parse(text.data(), text.size());
    if (document.HasParseError()) {
        std::fputs("rapidjson_pretty: the input is not JSON\n", stderr);
        return 1;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    document.Accept(writer);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(buffer.GetString(), static_cast<std::streamsize>(buffer.GetSize()));
    return out.flush() ? 0 : 1;
}
