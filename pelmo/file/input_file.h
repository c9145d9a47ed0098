#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace pelmo {

/// One input's bytes, readable for as long as the object lives, without a copy where the system
/// allows: a regular file is mapped read-only, anything else (a pipe, a device) is read whole.
///
/// On POSIX systems a file that shrinks under its mapping would end the process with SIGBUS. The
/// first mapping installs a handler for it that turns the lost pages into zeros and notes it for
/// changed(); a SIGBUS at any other address goes on to the handler that was there before.
class InputFile {
public:
    /// Opens the file at `native`, following links. Raises std::system_error when it cannot be
    /// opened or is a directory.
    explicit InputFile(const std::filesystem::path& native);
    /// Standard input, left open when the object goes.
    static InputFile standardInput();

    InputFile(InputFile&&) noexcept;
    InputFile& operator=(InputFile&&) noexcept;
    ~InputFile();

    /// Whether the file at `output` (an empty path: standard output) is this very file, under
    /// the same name, another one or a link.
    bool isSameFileAs(const std::filesystem::path& output) const;

    /// Returns all the bytes: mapped, unless `copy` is true or the file cannot be mapped, and
    /// then read whole into memory. Call it once. Raises std::system_error when they cannot be
    /// read, std::bad_alloc when memory for a copy runs out.
    std::string_view read(bool copy);

    /// Whether a mapped file changed since read() as far as can be told: its size or time of
    /// modification differ, or pages of the mapping were lost. Bytes read whole never change.
    bool changed() const;

private:
    struct State;
    explicit InputFile(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pelmo
