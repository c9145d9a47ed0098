// A peer for bench/json2kessa.sh: RapidJSON's streaming (SAX) reader over a JSON file, numbers
// kept as their text, handing each value to a handler that does nothing: what reading the JSON
// alone costs a well-kept library, beside json2kessa's reading and writing.
//
//   rapidjson_read IN.json

#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct Handler : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
    bool Default() { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: rapidjson_read IN.json\n", stderr);
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    rapidjson::StringStream stream(text.c_str());
    Handler handler;
    rapidjson::Reader reader;
    const bool read = !reader
                           .Parse<rapidjson::kParseNumbersAsStringsFlag |
                                  rapidjson::kParseIterativeFlag>(stream, handler)
                           .IsError();
    if (!read) std::fputs("rapidjson_read: the input is not JSON\n", stderr);
    return read ? 0 : 1;
}
