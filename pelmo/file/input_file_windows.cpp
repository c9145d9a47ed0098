// On Windows a mapped file cannot be truncated while the view lives, so no page can vanish under
// the reader; a change is told by the file's size and time of last write.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

#include "pelmo/file/input_file.h"
#include "pelmo/file/mapped_file.h"
#include "pelmo/file/stream_read.h"

namespace pelmo {

namespace fs = std::filesystem;

struct InputFile::State {
    fs::path native;  // empty for standard input
    const void* view = nullptr;
    std::uint64_t size = 0;
    fs::file_time_type written{};
    std::uintmax_t length = 0;
    std::string copy;

    ~State() {
        if (view != nullptr) unmapFile(view, size);
    }

    bool sameAsWhenMapped() const {
        std::error_code error;
        const auto now = fs::last_write_time(native, error);
        if (error) return false;
        const auto nowLength = fs::file_size(native, error);
        return !error && now == written && nowLength == length;
    }
};

InputFile::InputFile(const fs::path& native) : state_(std::make_unique<State>()) {
    if (fs::is_directory(native)) {
        throw std::system_error(std::make_error_code(std::errc::is_a_directory));
    }
    errno = 0;
    if (!std::ifstream(native, std::ios::binary).is_open()) {
        throw std::system_error(detail::lastStreamError());
    }
    state_->native = native;
}

InputFile::InputFile(std::unique_ptr<State> state) : state_(std::move(state)) {}

InputFile InputFile::standardInput() {
    return InputFile(std::make_unique<State>());
}

InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::isSameFileAs(const fs::path& output) const {
    if (state_->native.empty() || output.empty()) return false;
    std::error_code error;
    return fs::equivalent(state_->native, output, error) && !error;
}

std::string_view InputFile::read(bool copy) {
    State& state = *state_;
    if (state.native.empty()) {  // standard input, in binary mode since the program started
        char buffer[1 << 16];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) != 0)
            state.copy.append(buffer, got);
        if (std::ferror(stdin)) throw std::system_error(detail::lastStreamError());
        return state.copy;
    }
    if (!copy) {
        std::error_code error;
        state.written = fs::last_write_time(state.native, error);
        if (!error) state.length = fs::file_size(state.native, error);
        if (!error) state.view = mapFile(state.native, state.size);
        if (state.view != nullptr) {
            return std::string_view(static_cast<const char*>(state.view),
                                    static_cast<std::size_t>(state.size));
        }
    }
    try {
        state.copy = detail::readThroughStream(state.native);
    } catch (const fs::filesystem_error& failure) {
        throw std::system_error(failure.code());
    }
    return state.copy;
}

bool InputFile::changed() const {
    return state_->view != nullptr && !state_->sameAsWhenMapped();
}

}  // namespace pelmo
