#include "tool/driver.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "kessa/text_position.h"
#include "pelmo/file/background_sink.h"
#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"

namespace driver {

namespace {

/// Below this much input the text fits in a chunk or two, and a writing thread costs more than it
/// saves.
constexpr std::size_t kBackgroundFrom = std::size_t{1} << 20;

/// Passes the text on, and checks the whole input once the text grows past what a well-formed
/// input of its size gives but rarely; raises what the check raises.
class GrowthGuard final : public pelmo::TextSink {
public:
    GrowthGuard(std::string_view text, pelmo::TextSink& next, const std::function<void()>& check)
        : next_(next), check_(check), left_(16 * text.size() + (std::size_t{64} << 20)) {}

    void write(const char* data, std::size_t size) override {
        count(size);
        next_.write(data, size);
    }
    void writeBuffer(std::unique_ptr<char[]>& buffer, std::size_t size,
                     std::size_t capacity) override {
        count(size);
        next_.writeBuffer(buffer, size, capacity);
    }

private:
    void count(std::size_t size) {
        if (checked_) return;
        if (size < left_) {
            left_ -= size;
            return;
        }
        checked_ = true;
        check_();
    }

    pelmo::TextSink& next_;
    const std::function<void()>& check_;
    std::size_t left_;
    bool checked_ = false;
};

}  // namespace

void report(const std::string& line, std::string_view program) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(program.size()), program.data(),
                 line.c_str());
}

std::string quoted(std::string_view path) {
    std::string text(1, '\'');  // built by appending: g++ 12 warns wrongly about "'" + string
    text += pelmo::detail::printable(path);
    text += '\'';
    return text;
}

Path::Path(std::string_view bytes) : given(bytes) {
    if (isStandard()) return;
    try {
        native = pelmo::toNativePath(bytes);
    } catch (const std::system_error&) {
        throw Failure(quoted(bytes) + " is not a valid UTF-8 path");
    }
}

bool exists(std::string_view path) {
    try {
        return pelmo::pathExists(pelmo::toNativePath(path));
    } catch (const std::exception&) {
        return false;
    }
}

std::string readFailure(const Path& input, const std::system_error& failure) {
    const std::string name = input.isStandard() ? "standard input" : quoted(input.given);
    return "cannot read " + name + ": " + failure.code().message();
}

void refuseEmpty(const Path& path, const char* which) {
    if (path.given.empty()) throw Failure(std::string("the ") + which + " path is empty");
}

void refuseOptionLikeInput(const Path& input) {
    // Without this, a mistyped option would be read as an empty input, and the output path,
    // perhaps the real input, overwritten with {}.
    if (input.given.size() >= 2 && input.given.front() == '-' && !exists(input.given)) {
        throw Failure("no input file " + quoted(input.given) + " (see kessa2json --help)");
    }
}

std::optional<pelmo::InputFile> openInput(const Path& input) {
    if (input.isStandard()) return pelmo::InputFile::standardInput();
    try {
        if (!pelmo::pathExists(input.native)) {
            refuseOptionLikeInput(input);
            report("warning: " + quoted(input.given) + " does not exist; writing {}");
            return std::nullopt;
        }
        return pelmo::InputFile(input.native);
    } catch (const std::system_error& failure) {
        throw Failure(readFailure(input, failure));
    }
}

std::string inputName(const Path& input) {
    return input.isStandard() ? "<stdin>" : pelmo::detail::printable(input.given);
}

std::string syntaxFailure(const Path& input, std::string_view text,
                          const kessa::SyntaxError& error) {
    const kessa::TextPosition at = kessa::positionAt(text, error.offset());
    return inputName(input) + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
           ": " + pelmo::detail::printable(error.describe()) + " (byte offset " +
           std::to_string(error.offset()) + ")";
}

void writeText(std::string_view text, pelmo::TextSink& out, bool checked,
               const std::function<void(pelmo::TextSink&)>& write) {
    const std::function<void()> check = [text] { kessa::checkKessa(text); };
    writeGuarded(text, out, checked ? nullptr : &check, write);
}

void writeGuarded(std::string_view text, pelmo::TextSink& out, const std::function<void()>* check,
                  const std::function<void(pelmo::TextSink&)>& write) {
    std::optional<pelmo::BackgroundSink> background;
    if (text.size() >= kBackgroundFrom) {
        try {
            background.emplace(out);
        } catch (const std::system_error&) {
            // No thread to be had (none at all in the WebAssembly build): this one writes.
        }
    }
    pelmo::TextSink& next = background ? static_cast<pelmo::TextSink&>(*background) : out;
    std::optional<GrowthGuard> guard;
    if (check != nullptr) guard.emplace(text, next, *check);
    write(guard ? static_cast<pelmo::TextSink&>(*guard) : next);
    if (background) background->finish();
}

bool isOption(std::string_view arg, std::string_view name) {
    return arg == name && !exists(arg);
}

std::string writeFailure(const Path& output, const std::system_error& failure) {
    const std::string name = output.isStandard() ? "to standard output" : quoted(output.given);
    return "cannot write " + name + ": " + failure.code().message();
}

std::string changeFailure(const Path& input) {
    return quoted(input.given) + " changed during the conversion; the output may be incomplete";
}

pelmo::OutputFile openOutput(const Path& output, bool sameFile) {
    try {
#ifdef _WIN32
        if (sameFile) return pelmo::OutputFile::inPlace(output.native);
#else
        (void)sameFile;
#endif
        return pelmo::OutputFile(output.native);
    } catch (const std::system_error& failure) {
        throw Failure(writeFailure(output, failure));
    }
}

void refuseOptionLikeOutput(const Path& output) {
    if (output.given.size() < 2 || output.given.front() != '-' || exists(output.given)) return;
    throw Failure("output path " + quoted(output.given) + " looks like an option; write ./" +
                  pelmo::detail::printable(output.given) + " for a file of that name");
}

bool namesFilesPast(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) {
        if (exists(argv[i])) return true;
    }
    return false;
}

bool outputIsAnother(const Path& input, const Path& output, std::string_view extension) {
    std::error_code error;
    if (output.isStandard() || !output.given.ends_with(extension) ||
        !std::filesystem::is_regular_file(output.native, error)) {
        return false;
    }
    return input.isStandard() || !std::filesystem::equivalent(input.native, output.native, error);
}

}  // namespace driver
