#include "kessa/conversion.h"

#include <cstdint>

#include "kessa/plain_number.h"
#include "kessa/read_machine.h"
#include "kessa/scalar.h"
#include "pelmo/json/indented_writer.h"

namespace kessa {

namespace {

/// Types each value and hands everything to the writer as the reader reports it.
class IndentedConversion {
public:
    IndentedConversion(std::string_view text, pelmo::TextSink& sink) : text_(text), writer_(sink) {}

    void key(std::string_view bytes) { writer_.key(bytes); }
    void scalar(std::string_view token) {
        if (!detail::mayBeNumber(token)) {
            writer_.string(token);
            return;
        }
        // Most numbers are short numerals that are already written as they are to come out; that
        // test reads sixteen bytes, so it is made where they all lie within the text.
        const auto at = reinterpret_cast<std::uintptr_t>(token.data());
        const auto begin = reinterpret_cast<std::uintptr_t>(text_.data());
        if (at >= begin && at - begin + 16 <= text_.size() && detail::isVerbatimNumber(token)) {
            writer_.shortNumberText(token);
            return;
        }
        detail::PlainNumber plain;
        if (detail::readPlainNumber(token, plain)) {
            // Other short numerals come out as their own digits, tidied.
            char text[detail::kPlainTextCapacity];
            const char* end = plain.point ? detail::writePlainFloat(plain, text)
                                          : detail::writePlainInteger(plain, text);
            if (end != nullptr) {
                writer_.numberText(std::string_view(text, static_cast<std::size_t>(end - text)));
                return;
            }
        }
        write(typeScalar(token), token);
    }
    void openObject() { writer_.openObject(); }
    void openArray() { writer_.openArray(); }
    void closeObject() { writer_.closeObject(); }
    void closeArray() { writer_.closeArray(); }
    void end() { writer_.flush(); }

private:
    void write(const Scalar& scalar, std::string_view token) {
        switch (scalar.type) {
            case pelmo::JsonType::Integer:
                writer_.integer(scalar.integer);
                break;
            case pelmo::JsonType::Float:
                writer_.number(scalar.number);
                break;
            default:
                writer_.string(token);
        }
    }

    const std::string_view text_;
    pelmo::IndentedWriter writer_;
};

}  // namespace

void writeIndentedJson(std::string_view text, pelmo::TextSink& sink) {
    IndentedConversion conversion(text, sink);
    detail::ReadMachine<IndentedConversion>(text, conversion).run();
}

}  // namespace kessa
