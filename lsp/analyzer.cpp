#include "lsp/analyzer.h"

#include <utility>

namespace lsp {

Analyzer::Analyzer(MessageWriter& writer, Format format, Analysis analysis)
    : writer_(writer), format_(std::move(format)), analysis_(std::move(analysis)) {
    thread_ = std::thread([this] { work(); });
}

Analyzer::~Analyzer() {
    finish();
}

void Analyzer::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Analyzer::supersede(const std::string& uri) {
    const auto found = current_.find(uri);
    if (found == current_.end()) return;
    found->second->store(true);
    current_.erase(found);
    // A queued older version is dropped at once, and its text with it.
    std::erase_if(queue_, [&uri](const Job& job) { return job.uri == uri; });
}

void Analyzer::analyze(const std::string& uri, std::int64_t version, Snapshot snapshot,
                       Analysis more) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        supersede(uri);
        auto stale = std::make_shared<std::atomic<bool>>(false);
        current_.emplace(uri, stale);
        queue_.push_back({uri, version, std::move(snapshot), std::move(stale), std::move(more)});
    }
    wake_.notify_one();
}

void Analyzer::close(const std::string& uri, std::string_view cleared) {
    std::lock_guard<std::mutex> lock(mutex_);
    supersede(uri);
    send(cleared);
}

void Analyzer::send(std::string_view message) {
    try {
        writer_.write(message);
    } catch (const std::exception&) {
        // The client is gone; the message loop ends when its input does.
    }
}

void Analyzer::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        std::string message;
        bool done = false;
        try {
            DiagnosticList list;
            analysis_(*job.snapshot.text, list, job.stale.get());
            if (job.more) job.more(*job.snapshot.text, list, job.stale.get());
            message = format_(job.uri, job.version, job.snapshot, list.take());
            done = true;
        } catch (const Superseded&) {
        } catch (const std::exception&) {
            // Out of memory: the next version tries again.
        }
        std::lock_guard<std::mutex> lock(mutex_);
        job.snapshot = {};  // let go under the lock that edits hold
        if (done && !job.stale->load()) send(message);
    }
}

}  // namespace lsp
