#pragma once

#include <cstddef>
#include <memory>

#include "pelmo/json/text_sink.h"

namespace pelmo {

/// A TextSink that passes the text on to another sink from a thread of its own, so that making
/// the text and storing it overlap on two cores. A writer's buffers change hands without a copy;
/// at most kBuffers of them are in flight at a time, so memory stays bounded.
///
/// A failure of the other sink is raised again by the next write(), writeBuffer() or finish(),
/// and the bytes after it are dropped.
class BackgroundSink final : public TextSink {
public:
    /// Buffers in flight at most, the one the writer fills included.
    static constexpr std::size_t kBuffers = 4;

    /// Passes the text on to `target`, which must outlive the sink. Raises std::system_error when
    /// no thread can be started.
    explicit BackgroundSink(TextSink& target);
    /// Stops the thread once the buffer it is writing is done; text not yet written is dropped.
    ~BackgroundSink() override;
    BackgroundSink(const BackgroundSink&) = delete;
    BackgroundSink& operator=(const BackgroundSink&) = delete;

    /// Copies the bytes into a buffer of the sink's own and queues it.
    void write(const char* data, std::size_t size) override;
    /// Queues the writer's buffer and leaves a free one in its place, waiting while all are in
    /// flight.
    void writeBuffer(std::unique_ptr<char[]>& buffer, std::size_t size,
                     std::size_t capacity) override;

    /// Returns once every queued byte has reached the other sink; raises what it raised.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pelmo
