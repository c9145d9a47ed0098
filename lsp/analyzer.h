#pragma once

// The analysis thread: it finds each new version's diagnostics off the message thread, and
// publishes them only while that version is still the document's newest.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lsp/analysis.h"
#include "lsp/document.h"
#include "lsp/transport.h"

namespace lsp {

class Analyzer {
public:
    /// Adds a text's diagnostics to the list, which caps them all, raising Superseded once
    /// `stale` is set (it may also finish).
    using Analysis = std::function<void(std::string_view text, DiagnosticList& list,
                                        const std::atomic<bool>* stale)>;
    /// The notification that publishes a version's diagnostics, capped.
    using Format = std::function<std::string(const std::string& uri, std::int64_t version,
                                             const Snapshot& snapshot,
                                             const std::vector<Diagnostic>& diagnostics)>;

    Analyzer(MessageWriter& writer, Format format, Analysis analysis);
    /// Finishes what is queued, then stops.
    ~Analyzer();

    /// Finds the diagnostics of this version of the document, with the analysis and then
    /// `more` (the schemas that check the document); any older version's are never published
    /// from now on.
    void analyze(const std::string& uri, std::int64_t version, Snapshot snapshot,
                 Analysis more = {});
    /// Publishes `cleared` (the document's empty diagnostics) after which none of the document's
    /// versions are published.
    void close(const std::string& uri, std::string_view cleared);
    /// Runs the jobs queued and ends the thread; later calls are ignored.
    void finish();
    /// The lock under which the analysis lets go of the snapshots it read. Held while a document
    /// is edited, a snapshot's use count then tells truly whether the analysis still reads it:
    /// the count alone is read without ordering, and would let an edit race the last read.
    std::unique_lock<std::mutex> holdSnapshots() { return std::unique_lock<std::mutex>(mutex_); }

private:
    struct Job {
        std::string uri;
        std::int64_t version;
        Snapshot snapshot;
        std::shared_ptr<std::atomic<bool>> stale;
        Analysis more;
    };

    void work();
    /// Marks the document's current job stale and drops it if still queued; the caller holds
    /// mutex_.
    void supersede(const std::string& uri);
    /// Writes a message, which a client that went away cannot take.
    void send(std::string_view message);

    MessageWriter& writer_;
    Format format_;
    Analysis analysis_;
    std::mutex mutex_;  // held while the newest version is checked and published
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::map<std::string, std::shared_ptr<std::atomic<bool>>, std::less<>> current_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace lsp
