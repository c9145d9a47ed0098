#pragma once

// The language server: the message loop, the lifecycle, and one handler per method, bound by
// name in one table.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lsp/analyzer.h"
#include "lsp/document.h"
#include "lsp/protocol.h"
#include "lsp/schemas.h"
#include "lsp/settings.h"
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

    // Settings and the schemas they name.
    void didChangeConfiguration(const Json& params);
    void didChangeWatchedFiles(const Json& params);
    void askConfiguration();
    void applySchemas(const Json& value);
    void applyIndent(const Json& value);
    /// Tells the user of a setting that is not taken, and logs it.
    void warn(const std::string& problem);
    std::vector<std::shared_ptr<const LoadedSchema>> schemasOf(const std::string& uri);
    void watchSchemaFiles();

    // Features.
    Json documentSymbol(const Json& params);
    Json hover(const Json& params);
    Json completion(const Json& params);
    Json codeAction(const Json& params);
    Json executeCommand(const Json& params);
    Json fromJson(const Json& params);
    Json formatting(const Json& params);
    Json rangeFormatting(const Json& params);
    /// The protocol's text edits of what `format` gives for `document`: none for a malformed
    /// text.
    Json formattingJson(const Document& document,
                        const std::function<std::vector<Edit>()>& format) const;

    // Requests to the client, and their replies.
    void ask(std::string_view method, Json params,
             std::function<void(const Json& result)> answered = {});
    void answered(const Message& response);

    Document& document(const Json& params);
    /// Has the document's diagnostics found again, with the schemas that check it.
    void analyze(const std::string& uri, const Document& document);
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

    // What the client can do.
    bool asksConfiguration_ = false;  // answers workspace/configuration
    bool watchesFiles_ = false;       // takes a didChangeWatchedFiles registration
    bool relativePatterns_ = false;   // in such a registration
    bool markdownHover_ = false;
    bool markdownCompletion_ = false;

    std::string folder_;  // the workspace folder, an absolute path; empty for none
    SchemaSettings settings_;
    kessa::Layout layout_;  // of formatting, from kessa.format.indent
    SchemaStore schemas_;
    std::vector<std::string> watched_;  // the schema files the client watches for the server
    std::int64_t asked_ = 0;            // requests to the client so far
    std::map<std::string, std::function<void(const Json&)>, std::less<>> waiting_;

    std::mutex queueMutex_;
    std::condition_variable queueReady_;
    std::deque<Queued> queue_;
    bool inputEnded_ = false;
    std::mutex logMutex_;

    Analyzer analyzer_;  // last: its thread stops first
};

}  // namespace lsp
