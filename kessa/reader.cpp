#include "kessa/reader.h"

#include <algorithm>

#include "kessa/read_machine.h"

namespace kessa {

namespace {

/// Follows the text and keeps nothing: the machine alone decides whether it is well-formed.
struct Checker {
    static constexpr bool kKeepBytes = false;
    void key(std::string_view) {}
    void scalar(std::string_view) {}
    void openObject() {}
    void openArray() {}
    void closeObject() {}
    void closeArray() {}
    void end() {}
};

}  // namespace

SyntaxError::SyntaxError(Fault fault, std::uint64_t offset, std::string key)
    : pelmo::Exception(kMessage), fault_(fault), offset_(offset), key_(std::move(key)) {}

SyntaxError::~SyntaxError() = default;

std::string SyntaxError::describe() const {
    switch (fault_) {
        case Fault::StrayRightBrace:
            return "a right brace with no left brace open";
        case Fault::UnclosedBrace:
            return "this left brace is never closed";
        case Fault::UnclosedQuote:
            return "the quoted value that starts here is never closed";
        case Fault::UnfinishedValue:
            return "the last value needs a line break after it";
        case Fault::TrailingBlanks:
            return "stray blanks after the last line break";
        case Fault::KeyWithoutValue:
            break;
    }
    return "the key \"" + key_ + "\" has no value";
}

std::uint64_t SyntaxError::length(std::string_view text) const {
    const std::uint64_t rest = text.size() - std::min<std::uint64_t>(offset_, text.size());
    switch (fault_) {
        case Fault::UnfinishedValue:
        case Fault::TrailingBlanks:
            return rest;
        case Fault::KeyWithoutValue:
            return std::min<std::uint64_t>(key_.size(), rest);
        default:
            return std::min<std::uint64_t>(1, rest);
    }
}

KessaHandler::~KessaHandler() = default;

void readKessa(std::string_view text, KessaHandler& handler) {
    detail::ReadMachine<KessaHandler>(text, handler).run();
}

void checkKessa(std::string_view text) {
    Checker checker;
    detail::ReadMachine<Checker>(text, checker).run();
}

}  // namespace kessa
