#pragma once

#include <filesystem>

#include "pelmo/json/text_sink.h"

namespace pelmo {

/// A TextSink that writes straight to a file, with no buffer of its own.
class FileSink final : public TextSink {
public:
    /// Creates the file at `native`, or truncates it. Raises std::system_error when it cannot.
    explicit FileSink(const std::filesystem::path& native);
    /// Standard output as it is: neither truncated nor reopened, and left open at the end.
    static FileSink standardOutput();
    /// Writes to `descriptor`, an open file that the sink then owns and closes.
    static FileSink adopt(int descriptor) { return FileSink(descriptor, true); }

    FileSink(FileSink&& other) noexcept;
    FileSink& operator=(FileSink&&) = delete;
    /// Closes the file if close() was not called, with no report of a failure.
    ~FileSink() override;

    /// Writes all the bytes; raises std::system_error when they cannot all be written.
    void write(const char* data, std::size_t size) override;

    /// Closes the file; raises std::system_error when the system reports that the text could not
    /// be stored. Standard output stays open.
    void close();

    /// The descriptor written to, or -1 once closed.
    int descriptor() const { return descriptor_; }

private:
    FileSink(int descriptor, bool owned) : descriptor_(descriptor), owned_(owned) {}

    int descriptor_;
    bool owned_;
};

}  // namespace pelmo
