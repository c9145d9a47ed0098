// The writing side on any bytes. Read as kessa text: formatting keeps the JSON byte for byte and
// changes nothing the second time, and refuses what the conversion refuses, at the same byte;
// the JSON of the text comes back from JSON to kessa byte for byte. Read as JSON: the reader
// never fails but with its own error, and where JSON to kessa names no value, the kessa it
// writes gives the same values back.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "kessa/conversion.h"
#include "kessa/format.h"
#include "kessa/json_to_kessa.h"
#include "kessa/reader.h"
#include "pelmo/json/json_reader.h"
#include "pelmo/json/text_sink.h"

namespace {

std::string json(std::string_view kessa) {
    std::string out;
    pelmo::StringSink sink(out);
    kessa::writeIndentedJson(kessa, sink);
    return out;
}

/// The values of a JSON text in one string, numbers as a JSON reader types them: an integer by
/// its value, any other number by its double's bits.
class Canon final : public pelmo::JsonHandler {
public:
    std::string out;

    void openObject(pelmo::JsonPlace) override { out += '{'; }
    void closeObject() override { out += '}'; }
    void openArray(pelmo::JsonPlace) override { out += '['; }
    void closeArray() override { out += ']'; }
    void key(std::string_view bytes, unsigned, pelmo::JsonPlace) override { text('k', bytes); }
    void string(std::string_view bytes, unsigned, pelmo::JsonPlace) override { text('s', bytes); }
    void number(std::string_view numeral, pelmo::JsonPlace) override {
        const std::string copy(numeral);
        if (numeral.find_first_of(".eE") == std::string_view::npos) {
            out += 'i' + std::to_string(std::strtoll(copy.c_str(), nullptr, 10)) + ';';
            return;
        }
        const double value = std::strtod(copy.c_str(), nullptr);
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        out += 'd' + std::to_string(bits) + ';';
    }
    void literal(std::string_view word, pelmo::JsonPlace) override { text('w', word); }

private:
    void text(char kind, std::string_view bytes) {
        out += kind;
        out += std::to_string(bytes.size());
        out += ':';
        out += bytes;
    }
};

struct Quiet final : kessa::JsonToKessaHandler {
    bool any = false;
    void refused(const kessa::JsonRefusal&) override { any = true; }
};

void asKessa(std::string_view text) {
    std::string before;
    try {
        before = json(text);
    } catch (const kessa::SyntaxError& refused) {
        try {
            kessa::formatKessa(text);
            require(false, "a refused text is formatted");
        } catch (const kessa::SyntaxError& error) {
            require(error.fault() == refused.fault() && error.offset() == refused.offset(),
                    "the formatter refuses as the conversion does");
        }
        return;
    }
    const std::string formatted = kessa::formatKessa(text);
    require(json(formatted) == before, "formatting keeps the JSON byte for byte");
    require(kessa::formatKessa(formatted) == formatted, "formatting twice changes nothing");

    std::string back;
    pelmo::StringSink sink(back);
    Quiet quiet;
    require(kessa::jsonToKessa(before, &sink, quiet), "the converter's JSON has a kessa text");
    require(json(back) == before, "the converter's JSON comes back byte for byte");
}

void asJson(std::string_view text) {
    Canon read;
    std::string kessaText;
    pelmo::StringSink sink(kessaText);
    Quiet quiet;
    try {
        pelmo::readJson(text, read);
        kessa::jsonToKessa(text, &sink, quiet);
    } catch (const pelmo::JsonSyntaxError&) {
        return;
    }
    if (quiet.any) return;
    Canon back;
    pelmo::readJson(json(kessaText), back);
    require(back.out == read.out, "what JSON to kessa writes gives the same values back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    asKessa(text);
    asJson(text);
    return 0;
}
