#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "pelmo/json/text_sink.h"

namespace pelmo {

/// The file a whole text is written to, which no reader sees half-written where the system allows
/// it: a regular file, or a path where nothing exists yet, is replaced whole by a new file made in
/// the same directory and put in its place by commit() alone. Everything else is written in place.
///
/// The replacement keeps the permission bits of the file it replaces, its owner and group, and its
/// extended attributes; a new file gets 0666 less the umask. A symbolic link stays a link: the
/// file it leads to is replaced. Nothing is synced to disk: the replacement guards against failed,
/// killed and interrupted runs, not against the machine losing power.
///
/// On POSIX systems, where the replacement needs a name before it is complete, SIGINT, SIGTERM
/// and SIGHUP remove it and then end the process as they would have; they are held back while the
/// name is given and taken, in the calling thread (other threads should block them).
class OutputFile final : public TextSink {
public:
    enum class Route : std::uint8_t {
        Replace,  ///< into a new file, renamed over the output by commit()
        InPlace,  ///< into the output itself, created or truncated by open()
    };

    /// Prepares to write the file at `native`, and makes the new file for the replacing route.
    /// It is written in place instead where it is not a regular file, is a link of /proc (such
    /// as /dev/stdout), has more than one name, is mounted over another file, may not be written,
    /// or its owner, group, attributes or permission bits could not be kept, or its directory
    /// takes no new file.
    /// An empty path stands for standard output, written in place and left open. Raises
    /// std::system_error when the new file cannot be made for want of room or descriptors.
    explicit OutputFile(const std::filesystem::path& native);
    /// The file at `native` written in place, for callers that must not have it replaced.
    static OutputFile inPlace(const std::filesystem::path& native);

    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    /// Discards a replacement that was not committed; the output stays as it was.
    ~OutputFile() override;

    Route route() const;

    /// On the in-place route, creates or truncates the output (standard output is left as it is);
    /// raises std::system_error when it cannot. Does nothing on the replacing route.
    void open();

    /// Writes all the bytes; raises std::system_error when they cannot all be written.
    void write(const char* data, std::size_t size) override;

    /// Closes the file and, on the replacing route, puts it in the output's place. Raises
    /// std::system_error when the text could not be stored or put in place; the output is then as
    /// it was, unless it was written in place.
    void commit();

private:
    struct State;
    explicit OutputFile(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pelmo
