// The file layer of a build with no files, the WebAssembly module: no path names anything, and
// opening one fails with words that say why.

#include <string>
#include <system_error>
#include <utility>

#include "pelmo/file/input_file.h"
#include "pelmo/file/native_path.h"

namespace pelmo {

namespace {

class NoFiles final : public std::error_category {
public:
    const char* name() const noexcept override { return "no files"; }
    std::string message(int) const override { return "this build of kessa2json reads no files"; }
};

[[noreturn]] void refuse() {
    static const NoFiles category;
    throw std::system_error(1, category);
}

}  // namespace

struct InputFile::State {};

InputFile::InputFile(const std::filesystem::path&) {
    refuse();
}
InputFile::InputFile(std::unique_ptr<State> state) : state_(std::move(state)) {}
InputFile InputFile::standardInput() {
    refuse();
}
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::isSameFileAs(const std::filesystem::path&) const {
    return false;
}
std::string_view InputFile::read(bool) {
    refuse();
}
bool InputFile::changed() const {
    return false;
}

std::filesystem::path toNativePath(std::string_view utf8) {
    return std::filesystem::path(utf8);
}

bool pathExists(const std::filesystem::path&) {
    return false;
}

}  // namespace pelmo
