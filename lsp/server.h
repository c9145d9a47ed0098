#pragma once

// The language server: the message loop, the lifecycle, and one handler per method, bound by
// name in one table.

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "lsp/analyzer.h"
#include "lsp/document.h"
#include "lsp/protocol.h"
#include "lsp/transport.h"

namespace lsp {

class Server {
public:
    /// Serves the client at the other end of `input` and `output`; problems with what the client
    /// sends that have no reply go to `log`, when given.
    Server(ByteSource& input, ByteSink& output, std::ostream* log,
           Analyzer::Analysis analysis = diagnose);

    /// Serves until the exit notification or the end of the input, and returns the exit status:
    /// 0 if a shutdown request came first, else 1.
    int run();

private:
    /// A message to handle, or the error reply to a body that was none.
    struct Queued {
        Message message;
        bool cancelled = false;
        std::string reply;
    };

    // The message thread's loop: each message handled in turn, off the queue.
    void handleQueued();
    void handle(const Message& message);
    Json call(const Message& message);
    void enqueue(Queued queued);
    void cancel(const Json& params);
    void send(std::string_view message);
    void note(std::string_view problem);

    // The lifecycle.
    Json initialize(const Json& params);
    Json shutdown(const Json& params);
    void initialized(const Json& params);

    // Documents.
    void didOpen(const Json& params);
    void didChange(const Json& params);
    void didClose(const Json& params);
    void didSave(const Json& params);

    // Features.
    Json documentSymbol(const Json& params);
    Json hover(const Json& params);
    Json codeAction(const Json& params);
    Json executeCommand(const Json& params);

    Document& document(const Json& params);
    std::string publishText(const std::string& uri, std::int64_t version, const Snapshot& snapshot,
                            const std::vector<Diagnostic>& diagnostics) const;

    using RequestHandler = Json (Server::*)(const Json&);
    using NotificationHandler = void (Server::*)(const Json&);
    static const std::map<std::string, RequestHandler, std::less<>> kRequests;
    static const std::map<std::string, NotificationHandler, std::less<>> kNotifications;

    MessageReader reader_;
    MessageWriter writer_;
    std::ostream* log_;
    Encoding encoding_ = Encoding::Utf16;
    bool initialized_ = false;
    bool shutdown_ = false;
    Documents documents_;

    std::mutex queueMutex_;
    std::condition_variable queueReady_;
    std::deque<Queued> queue_;
    bool inputEnded_ = false;
    std::mutex logMutex_;

    Analyzer analyzer_;  // last: its thread stops first
};

}  // namespace lsp
