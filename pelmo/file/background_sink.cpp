#include "pelmo/file/background_sink.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace pelmo {

struct BackgroundSink::State {
    struct Buffer {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t size = 0;
    };

    explicit State(TextSink& target) : target(target) {}

    /// The writing thread: stores the queued buffers in order until told to stop.
    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopping || !queued.empty(); });
            if (queued.empty()) return;  // stopping, with nothing left
            Buffer buffer = std::move(queued.front());
            queued.pop_front();
            if (!failure) {
                writing = true;
                lock.unlock();
                try {
                    target.write(buffer.bytes.get(), buffer.size);
                } catch (...) {
                    lock.lock();
                    failure = std::current_exception();
                    lock.unlock();
                }
                lock.lock();
                writing = false;
            }
            free.push_back(std::move(buffer));
            changed.notify_all();
        }
    }

    void raiseFailure() {
        if (failure) std::rethrow_exception(failure);
    }

    /// A buffer of at least `capacity` bytes that nothing holds, made while fewer than kBuffers
    /// exist, else once the thread has written one. `lock` holds the mutex.
    Buffer takeFree(std::unique_lock<std::mutex>& lock, std::size_t capacity) {
        for (;;) {
            raiseFailure();
            const auto fits = std::find_if(free.begin(), free.end(),
                                           [&](const Buffer& b) { return b.capacity >= capacity; });
            if (fits != free.end()) {
                Buffer buffer = std::move(*fits);
                free.erase(fits);
                return buffer;
            }
            if (made + 1 < kBuffers || !free.empty()) {
                if (!free.empty())
                    free.pop_back();  // too small: made anew
                else
                    ++made;
                return {std::unique_ptr<char[]>(new char[capacity]), capacity, 0};
            }
            changed.wait(lock);
        }
    }

    /// Hands `buffer` to the thread; the caller holds the mutex.
    void queue(Buffer buffer) {
        queued.push_back(std::move(buffer));
        changed.notify_all();
    }

    TextSink& target;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Buffer> queued;
    std::vector<Buffer> free;
    /// Buffers of the sink's making that still exist; with the writer's own, at most kBuffers.
    std::size_t made = 0;
    bool writing = false;
    bool stopping = false;
    std::exception_ptr failure;
    std::thread thread;
};

BackgroundSink::BackgroundSink(TextSink& target) : state_(std::make_unique<State>(target)) {
    state_->thread = std::thread([state = state_.get()] { state->run(); });
}

BackgroundSink::~BackgroundSink() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->queued.clear();
    }
    state_->changed.notify_all();
    state_->thread.join();
}

void BackgroundSink::write(const char* data, std::size_t size) {
    if (size == 0) return;
    std::unique_lock lock(state_->mutex);
    State::Buffer buffer = state_->takeFree(lock, size);
    lock.unlock();
    std::memcpy(buffer.bytes.get(), data, size);
    buffer.size = size;
    lock.lock();
    state_->queue(std::move(buffer));
}

void BackgroundSink::writeBuffer(std::unique_ptr<char[]>& buffer, std::size_t size,
                                 std::size_t capacity) {
    std::unique_lock lock(state_->mutex);
    State::Buffer next = state_->takeFree(lock, capacity);
    state_->queue({std::move(buffer), capacity, size});
    buffer = std::move(next.bytes);
}

void BackgroundSink::finish() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(
        lock, [&] { return (state_->queued.empty() && !state_->writing) || state_->failure; });
    state_->raiseFailure();
}

}  // namespace pelmo
