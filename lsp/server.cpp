#include "lsp/server.h"

#include <algorithm>
#include <thread>

#include "kessa/conversion.h"
#include "kessa/format.h"
#include "kessa/json_to_kessa.h"
#include "kessa/reader.h"
#include "lsp/analysis.h"
#include "lsp/completion.h"
#include "lsp/formatting.h"
#include "pelmo/file/file_io.h"
#include "pelmo/file/file_uri.h"
#include "pelmo/file/native_path.h"
#include "pelmo/file/utf8.h"
#include "pelmo/json/text_sink.h"

#ifndef KESSA2JSON_VERSION
#define KESSA2JSON_VERSION "0"
#endif

namespace lsp {

namespace {

constexpr const char* kConvertCommand = "kessa.convert";
constexpr const char* kFromJsonCommand = "kessa.fromJson";
/// The registration of the schema files that the client watches for the server.
constexpr const char* kWatchId = "kessa.schemaFiles";
constexpr const char* kWatchMethod = "workspace/didChangeWatchedFiles";

/// The protocol's numbers for severities and symbol kinds.
int severityNumber(kessa::Severity severity) {
    switch (severity) {
        case kessa::Severity::Error:
            return 1;
        case kessa::Severity::Warning:
            return 2;
        case kessa::Severity::Note:
            break;
    }
    return 3;  // Information
}

int symbolNumber(SymbolKind kind) {
    switch (kind) {
        case SymbolKind::Object:
            return 19;
        case SymbolKind::Array:
            return 18;
        case SymbolKind::Number:
            return 16;
        case SymbolKind::String:
            break;
    }
    return 15;
}

Json positionJson(Position position) {
    return {{"line", position.line}, {"character", position.character}};
}

/// Ranges of one text, for offsets asked for mostly in rising order.
class Ranges {
public:
    Ranges(std::string_view text, const LineIndex& lines, Encoding encoding)
        : starts_(text, lines, encoding), ends_(text, lines, encoding) {}

    Json operator()(std::uint64_t begin, std::uint64_t end) {
        return {{"start", positionJson(starts_.at(begin))}, {"end", positionJson(ends_.at(end))}};
    }

private:
    PositionCursor starts_, ends_;
};

/// Whether the client shows Markdown in the content formats at `name` of its capabilities.
bool takesMarkdown(const Json& params, std::string_view name) {
    const Json* formats = optionalMember(params, name);
    if (formats == nullptr || !formats->is_array()) return false;
    return std::any_of(formats->begin(), formats->end(),
                       [](const Json& format) { return format == "markdown"; });
}

bool isTrue(const Json& params, std::string_view name) {
    const Json* value = optionalMember(params, name);
    return value != nullptr && value->is_boolean() && value->get<bool>();
}

/// `text` as one word of a shell's command line.
std::string shellWord(const std::string& text) {
    if (!text.empty() &&
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_./:-+=@%,") == std::string::npos) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

/// What the diagnostics' note names as the command that lists them all.
std::string listerFor(const std::vector<std::shared_ptr<const LoadedSchema>>& schemas) {
    std::string command = "kessa2json --check --format json --schema ";
    if (schemas.size() == 1) return command + shellWord(schemas.front()->location);
    return command + "FILE, for each schema,";
}

Json diagnosticJson(const Diagnostic& diagnostic, Ranges& ranges) {
    Json json = {{"range", ranges(diagnostic.offset, diagnostic.offset + diagnostic.length)},
                 {"severity", severityNumber(diagnostic.severity)},
                 {"source", "kessa"},
                 {"message", diagnostic.message}};
    if (!diagnostic.code.empty()) json["code"] = std::string(diagnostic.code);
    return json;
}

}  // namespace

const std::map<std::string, Server::RequestHandler, std::less<>> Server::kRequests = {
    {"initialize", &Server::initialize},
    {"shutdown", &Server::shutdown},
    {"textDocument/documentSymbol", &Server::documentSymbol},
    {"textDocument/hover", &Server::hover},
    {"textDocument/completion", &Server::completion},
    {"textDocument/codeAction", &Server::codeAction},
    {"workspace/executeCommand", &Server::executeCommand},
    {"textDocument/formatting", &Server::formatting},
    {"textDocument/rangeFormatting", &Server::rangeFormatting},
};

const std::map<std::string, Server::NotificationHandler, std::less<>> Server::kNotifications = {
    {"initialized", &Server::initialized},
    {"textDocument/didOpen", &Server::didOpen},
    {"textDocument/didChange", &Server::didChange},
    {"textDocument/didClose", &Server::didClose},
    {"textDocument/didSave", &Server::didSave},
    {"workspace/didChangeConfiguration", &Server::didChangeConfiguration},
    {"workspace/didChangeWatchedFiles", &Server::didChangeWatchedFiles},
};

Server::Server(ByteSource& input, ByteSink& output, std::ostream* log, Analyzer::Analysis analysis)
    : reader_(input),
      writer_(output),
      log_(log),
      analyzer_(
          writer_,
          [this](const std::string& uri, std::int64_t version, const Snapshot& snapshot,
                 const std::vector<Diagnostic>& diagnostics) {
              return publishText(uri, version, snapshot, diagnostics);
          },
          std::move(analysis)) {}

int Server::run() {
    // This thread reads, so that a cancellation reaches a request still queued; the other
    // handles the messages in turn and writes every reply.
    std::thread handler([this] { handleQueued(); });
    for (;;) {
        MessageReader::Frame frame = reader_.next();
        if (frame.status == MessageReader::Status::End) break;
        if (frame.status == MessageReader::Status::BadHeader) {
            note("skipped a message: " + frame.problem);
            continue;
        }
        RequestId id;
        Message message;
        // The message thread writes every reply, in order; this one never waits for the client.
        try {
            message = readMessage(parseBody(frame.body), id);
        } catch (const RpcError& error) {
            enqueue({{}, false, errorText(id, error.code(), error.what())});
            continue;
        } catch (const std::bad_alloc&) {
            enqueue({{}, false, errorText(id, ErrorCode::InternalError, "out of memory")});
            continue;
        }
        if (message.kind == Message::Kind::Notification) {
            if (message.method == "exit") break;
            if (message.method == "$/cancelRequest") {
                cancel(message.params);
                continue;
            }
        }
        enqueue({std::move(message), false, {}});
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        inputEnded_ = true;
    }
    queueReady_.notify_one();
    handler.join();
    analyzer_.finish();
    return shutdown_ ? 0 : 1;
}

void Server::enqueue(Queued queued) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(std::move(queued));
    }
    queueReady_.notify_one();
}

void Server::cancel(const Json& params) {
    const Json* id = optionalMember(params, "id");
    if (id == nullptr) return;
    const RequestId cancelled = idOf(*id);
    std::lock_guard<std::mutex> lock(queueMutex_);
    for (Queued& queued : queue_) {
        if (queued.message.kind == Message::Kind::Request && queued.message.id == cancelled) {
            queued.cancelled = true;
        }
    }
}

void Server::handleQueued() {
    for (;;) {
        Queued next;
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            queueReady_.wait(lock, [this] { return inputEnded_ || !queue_.empty(); });
            if (queue_.empty()) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        if (!next.reply.empty()) {
            send(next.reply);
            continue;
        }
        if (next.cancelled) {
            send(errorText(next.message.id, ErrorCode::RequestCancelled, "cancelled"));
            continue;
        }
        handle(next.message);
    }
}

void Server::handle(const Message& message) {
    if (message.kind == Message::Kind::Response) {
        try {
            answered(message);
        } catch (const std::exception& error) {
            note(std::string("a reply to the server: ") + error.what());
        }
        return;
    }
    if (message.kind == Message::Kind::Notification) {
        if (!initialized_ || shutdown_) return;
        const auto found = kNotifications.find(message.method);
        if (found == kNotifications.end()) return;  // unknown notifications are ignored
        try {
            (this->*found->second)(message.params);
        } catch (const std::exception& error) {
            note(message.method + ": " + error.what());
        }
        return;
    }
    std::string reply;
    try {
        reply = replyText(message.id, call(message));
    } catch (const RpcError& error) {
        reply = errorText(message.id, error.code(), error.what());
    } catch (const Json::exception& error) {
        reply = errorText(message.id, ErrorCode::InvalidParams, error.what());
    } catch (const std::bad_alloc&) {
        reply = errorText(message.id, ErrorCode::InternalError, "out of memory");
    } catch (const std::exception& error) {
        reply = errorText(message.id, ErrorCode::InternalError, error.what());
    }
    send(reply);
}

Json Server::call(const Message& message) {
    if (message.method == "initialize") return initialize(message.params);
    if (!initialized_) {
        throw RpcError(ErrorCode::ServerNotInitialized, "the server is not initialized yet");
    }
    if (shutdown_) throw RpcError(ErrorCode::InvalidRequest, "the server is shutting down");
    const auto found = kRequests.find(message.method);
    if (found == kRequests.end()) {
        throw RpcError(ErrorCode::MethodNotFound, "no method " + message.method);
    }
    return (this->*found->second)(message.params);
}

void Server::send(std::string_view message) {
    try {
        writer_.write(message);
    } catch (const std::exception& error) {
        note(std::string("cannot write to the client: ") + error.what());
    }
}

void Server::note(std::string_view problem) {
    if (log_ == nullptr) return;
    std::lock_guard<std::mutex> lock(logMutex_);
    *log_ << "kessa-language-server: " << problem << std::endl;
}

// ---- The lifecycle ----------------------------------------------------------------------------

Json Server::initialize(const Json& params) {
    if (initialized_) throw RpcError(ErrorCode::InvalidRequest, "initialize came already");
    if (const Json* offered = optionalMember(params, "capabilities.general.positionEncodings")) {
        if (offered->is_array()) {
            for (const Json& encoding : *offered) {
                if (encoding.is_string() && encoding == "utf-8") encoding_ = Encoding::Utf8;
            }
        }
    }
    asksConfiguration_ = isTrue(params, "capabilities.workspace.configuration");
    watchesFiles_ =
        isTrue(params, "capabilities.workspace.didChangeWatchedFiles.dynamicRegistration");
    relativePatterns_ =
        isTrue(params, "capabilities.workspace.didChangeWatchedFiles.relativePatternSupport");
    markdownHover_ = takesMarkdown(params, "capabilities.textDocument.hover.contentFormat");
    markdownCompletion_ = takesMarkdown(
        params, "capabilities.textDocument.completion.completionItem.documentationFormat");
    // The workspace folder: the first one, else the root.
    const Json* folders = optionalMember(params, "workspaceFolders");
    const Json* rootUri = optionalMember(params, "rootUri");
    const Json* rootPath = optionalMember(params, "rootPath");
    if (folders != nullptr && folders->is_array() && !folders->empty() &&
        folders->front().is_object() && optionalMember(folders->front(), "uri") != nullptr &&
        folders->front()["uri"].is_string()) {
        folder_ = pathOfUri(folders->front()["uri"].get<std::string>()).value_or("");
    } else if (rootUri != nullptr && rootUri->is_string()) {
        folder_ = pathOfUri(rootUri->get<std::string>()).value_or("");
    } else if (rootPath != nullptr && rootPath->is_string()) {
        folder_ = rootPath->get<std::string>();
    }
    initialized_ = true;
    if (const Json* options = optionalMember(params, "initializationOptions")) {
        if (const Json* schemas = schemasSetting(*options)) applySchemas(*schemas);
        if (const Json* indent = indentSetting(*options)) applyIndent(*indent);
    }
    return {
        {"capabilities",
         {{"positionEncoding", encoding_ == Encoding::Utf8 ? "utf-8" : "utf-16"},
          {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
          {"documentSymbolProvider", true},
          {"hoverProvider", true},
          {"completionProvider", {{"triggerCharacters", {"=", "{", ","}}}},
          {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
          {"executeCommandProvider", {{"commands", {kConvertCommand, kFromJsonCommand}}}},
          {"documentFormattingProvider", true},
          {"documentRangeFormattingProvider", true}}},
        {"serverInfo", {{"name", "kessa-language-server"}, {"version", KESSA2JSON_VERSION}}},
    };
}

Json Server::shutdown(const Json&) {
    shutdown_ = true;
    return nullptr;
}

void Server::initialized(const Json&) {
    if (asksConfiguration_) askConfiguration();
}

// ---- Documents --------------------------------------------------------------------------------

void Server::didOpen(const Json& params) {
    const std::string& uri = stringMember(params, "textDocument.uri");
    const std::string& text = stringMember(params, "textDocument.text");
    const std::int64_t version = integerMember(params, "textDocument.version");
    const auto [at, added] = documents_.insert_or_assign(uri, Document(text, version));
    analyze(uri, at->second);
}

void Server::didChange(const Json& params) {
    Document& open = document(params);
    const std::int64_t version = integerMember(params, "textDocument.version");
    const Json& changes = member(params, "contentChanges");
    if (!changes.is_array())
        throw RpcError(ErrorCode::InvalidParams, "contentChanges: not an array");
    // All changes are checked before any is applied, so that the text never goes half-changed.
    struct Change {
        std::optional<Range> range;
        const std::string* text;
    };
    std::vector<Change> checked;
    for (const Json& change : changes) {
        Change next{std::nullopt, &stringMember(change, "text")};
        if (optionalMember(change, "range") != nullptr) next.range = rangeMember(change, "range");
        checked.push_back(next);
    }
    {
        const auto held = analyzer_.holdSnapshots();
        for (const Change& change : checked) {
            if (change.range) {
                open.edit(*change.range, *change.text, encoding_);
            } else {
                open.replace(*change.text);
            }
        }
    }
    open.setVersion(version);
    analyze(stringMember(params, "textDocument.uri"), open);
}

void Server::didClose(const Json& params) {
    const std::string& uri = stringMember(params, "textDocument.uri");
    documents_.erase(uri);
    analyzer_.close(uri, notificationText("textDocument/publishDiagnostics",
                                          {{"uri", uri}, {"diagnostics", Json::array()}}));
}

void Server::didSave(const Json&) {}

void Server::analyze(const std::string& uri, const Document& open) {
    std::vector<std::shared_ptr<const LoadedSchema>> schemas = schemasOf(uri);
    Analyzer::Analysis more;
    if (!schemas.empty()) {
        more = [schemas = std::move(schemas)](std::string_view text, DiagnosticList& list,
                                              const std::atomic<bool>* stale) {
            list.setLister(listerFor(schemas));
            for (const auto& schema : schemas) diagnoseSchema(text, *schema, list, stale);
        };
    }
    analyzer_.analyze(uri, open.version(), open.snapshot(), std::move(more));
}

// ---- Settings and schemas ---------------------------------------------------------------------

void Server::didChangeConfiguration(const Json& params) {
    // Clients that push the settings send them here; those that are asked send none.
    const Json* settings = optionalMember(params, "settings");
    const Json* schemas = settings != nullptr ? schemasSetting(*settings) : nullptr;
    if (const Json* indent = settings != nullptr ? indentSetting(*settings) : nullptr) {
        applyIndent(*indent);
    }
    if (schemas != nullptr) {
        applySchemas(*schemas);
    } else if (asksConfiguration_) {
        askConfiguration();
    }
}

void Server::askConfiguration() {
    // Clients look a section up by its first name, or by every dotted name: both are asked.
    ask("workspace/configuration",
        {{"items", {{{"section", "kessa.schemas"}}, {{"section", "kessa"}}}}},
        [this](const Json& result) {
            if (!result.is_array() || result.size() < 2) return;
            const Json* schemas = &result[0];
            if (schemas->is_null() && result[1].is_object()) {
                schemas = optionalMember(result[1], "schemas");
            }
            // A client without the setting answers null: the settings stay as they are.
            if (schemas != nullptr && !schemas->is_null()) applySchemas(*schemas);
            const Json* indent = optionalMember(result[1], "format.indent");
            if (indent != nullptr && !indent->is_null()) applyIndent(*indent);
        });
}

void Server::applySchemas(const Json& value) {
    std::vector<std::string> problems;
    SchemaSettings settings(value, folder_, problems);
    if (settings.associations() == settings_.associations()) return;  // said again
    settings_ = std::move(settings);
    if (!problems.empty()) {
        std::string text;
        for (const std::string& problem : problems)
            text.append(text.empty() ? "" : "; ").append(problem);
        warn(text);
    }
    std::vector<std::string> locations;
    for (const SchemaAssociation& association : settings_.associations()) {
        locations.push_back(association.location);
    }
    schemas_.keepOnly(locations);
    for (const auto& [uri, open] : documents_) analyze(uri, open);
    watchSchemaFiles();
}

void Server::applyIndent(const Json& value) {
    std::string problem;
    if (const std::optional<kessa::Layout> layout = layoutOfIndent(value, problem)) {
        layout_ = *layout;
    } else {
        warn(problem + "; formatting keeps its indentation");
    }
}

void Server::warn(const std::string& problem) {
    note(problem);
    send(notificationText("window/showMessage", {{"type", 2}, {"message", "kessa: " + problem}}));
}

std::vector<std::shared_ptr<const LoadedSchema>> Server::schemasOf(const std::string& uri) {
    std::vector<std::shared_ptr<const LoadedSchema>> schemas;
    for (const SchemaAssociation* association : settings_.schemasFor(uri)) {
        schemas.push_back(schemas_.get(*association));
    }
    if (!schemas.empty()) watchSchemaFiles();
    return schemas;
}

void Server::watchSchemaFiles() {
    if (!watchesFiles_) return;
    std::vector<std::string> files = schemas_.files();
    if (files == watched_) return;
    if (!watched_.empty()) {
        ask("client/unregisterCapability",
            {{"unregisterations", {{{"id", kWatchId}, {"method", kWatchMethod}}}}});
    }
    watched_ = std::move(files);
    if (watched_.empty()) return;
    Json watchers = Json::array();
    for (const std::string& file : watched_) {
        const std::size_t slash = file.find_last_of('/');
        if (relativePatterns_ && slash != std::string::npos) {
            watchers.push_back({{"globPattern",
                                 {{"baseUri", uriOfPath(slash == 0 ? "/" : file.substr(0, slash))},
                                  {"pattern", file.substr(slash + 1)}}}});
        } else {
            watchers.push_back({{"globPattern", file}});
        }
    }
    ask("client/registerCapability",
        {{"registrations",
          {{{"id", kWatchId},
            {"method", kWatchMethod},
            {"registerOptions", {{"watchers", std::move(watchers)}}}}}}});
}

void Server::didChangeWatchedFiles(const Json& params) {
    const Json& changes = member(params, "changes");
    if (!changes.is_array()) throw RpcError(ErrorCode::InvalidParams, "changes: not an array");
    bool any = false;
    for (const Json& change : changes) {
        const std::optional<std::string> path = pathOfUri(stringMember(change, "uri"));
        any = (path && schemas_.changed(*path)) || any;
    }
    if (!any) return;
    for (const auto& [uri, open] : documents_) analyze(uri, open);
}

void Server::ask(std::string_view method, Json params, std::function<void(const Json&)> answer) {
    const std::string id = "kessa/" + std::to_string(++asked_);
    if (answer) waiting_.emplace(id, std::move(answer));
    send(requestText(id, method, std::move(params)));
}

void Server::answered(const Message& response) {
    const auto* id = std::get_if<std::string>(&response.id);
    if (id == nullptr) return;
    const auto found = waiting_.find(*id);
    if (found == waiting_.end()) return;
    const std::function<void(const Json&)> answer = std::move(found->second);
    waiting_.erase(found);
    answer(response.params);  // null for an error
}

Document& Server::document(const Json& params) {
    const std::string& uri = stringMember(params, "textDocument.uri");
    const auto found = documents_.find(uri);
    if (found == documents_.end()) {
        throw RpcError(ErrorCode::InvalidParams, "no open document " + uri);
    }
    return found->second;
}

std::string Server::publishText(const std::string& uri, std::int64_t version,
                                const Snapshot& snapshot,
                                const std::vector<Diagnostic>& diagnostics) const {
    Json list = Json::array();
    if (!diagnostics.empty()) {
        Ranges ranges(*snapshot.text, *snapshot.lines, encoding_);
        for (const Diagnostic& diagnostic : diagnostics) {
            list.push_back(diagnosticJson(diagnostic, ranges));
        }
    }
    return notificationText("textDocument/publishDiagnostics",
                            {{"uri", uri}, {"version", version}, {"diagnostics", std::move(list)}});
}

// ---- Features ---------------------------------------------------------------------------------

Json Server::documentSymbol(const Json& params) {
    const Document& open = document(params);
    const std::vector<Symbol> symbols = outline(open.text());
    Ranges ranges(open.text(), open.lines(), encoding_);
    Ranges names(open.text(), open.lines(), encoding_);
    Json result = Json::array();
    // The children list of each open container by depth, the root's first. A member's children
    // stay where they are when their parent's list grows, which holds its object by pointer.
    std::vector<Json*> lists{&result};
    for (const Symbol& symbol : symbols) {
        lists.resize(symbol.depth + 1);
        Json& list = *lists.back();
        list.push_back({{"name", symbol.name},
                        {"kind", symbolNumber(symbol.kind)},
                        {"range", ranges(symbol.begin, symbol.end)},
                        {"selectionRange", names(symbol.nameBegin, symbol.nameEnd)}});
        if (symbol.kind == SymbolKind::Object || symbol.kind == SymbolKind::Array) {
            Json& children = list.back()["children"] = Json::array();
            lists.push_back(&children);
        }
    }
    return result;
}

Json Server::hover(const Json& params) {
    const Document& open = document(params);
    const std::uint64_t offset = open.offsetOf(positionMember(params, "position"), encoding_);
    const std::optional<HoverText> hover = hoverAt(open.text(), offset);
    if (!hover) return nullptr;
    // What the schemas say of the place, after what the notation makes of it.
    std::string said;
    for (const auto& schema : schemasOf(stringMember(params, "textDocument.uri"))) {
        if (!schema->schema) continue;
        const std::string text = hintText(schema->schema->hint(hover->path), markdownHover_);
        if (!text.empty()) said.append(said.empty() ? "" : "\n\n").append(text);
    }
    Json contents = {{"kind", "plaintext"}, {"value", hover->text}};
    if (!said.empty() && markdownHover_) {
        contents = {{"kind", "markdown"},
                    {"value", markdownEscaped(hover->text) + "\n\n---\n\n" + said}};
    } else if (!said.empty()) {
        contents["value"] = hover->text + "\n\n" + said;
    }
    Ranges ranges(open.text(), open.lines(), encoding_);
    return {{"contents", std::move(contents)}, {"range", ranges(hover->begin, hover->end)}};
}

Json Server::completion(const Json& params) {
    const Document& open = document(params);
    const std::uint64_t offset = open.offsetOf(positionMember(params, "position"), encoding_);
    const std::vector<std::shared_ptr<const LoadedSchema>> held =
        schemasOf(stringMember(params, "textDocument.uri"));
    std::vector<const kessa::Schema*> schemas;
    for (const auto& schema : held) {
        if (schema->schema) schemas.push_back(schema->schema.get());
    }
    const std::vector<Completion> found =
        completionsAt(open.text(), offset, schemas, markdownCompletion_);
    Ranges ranges(open.text(), open.lines(), encoding_);
    Json items = Json::array();
    for (std::size_t i = 0; i < found.size(); ++i) {
        const Completion& one = found[i];
        std::string order = std::to_string(i);
        order.insert(0, 5 - std::min<std::size_t>(order.size(), 5), '0');
        Json item = {{"label", one.label},
                     {"kind", one.kind == Completion::Kind::Key ? 10 : 12},  // Property, Value
                     {"detail", one.detail},
                     {"sortText", std::move(order)},
                     {"insertTextFormat", 1},
                     {"textEdit", {{"range", ranges(one.begin, one.end)}, {"newText", one.text}}}};
        if (!one.documentation.empty()) {
            item["documentation"] = markdownCompletion_
                                        ? Json{{"kind", "markdown"}, {"value", one.documentation}}
                                        : Json(one.documentation);
        }
        items.push_back(std::move(item));
    }
    return {{"isIncomplete", false}, {"items", std::move(items)}};
}

Json Server::codeAction(const Json& params) {
    const Document& open = document(params);
    const std::string& uri = stringMember(params, "textDocument.uri");
    const Range range = rangeMember(params, "range");
    if (const Json* only = optionalMember(params, "context.only");
        only != nullptr && only->is_array()) {
        bool wanted = false;
        for (const Json& kind : *only) {
            wanted = wanted || (kind.is_string() && (kind == "quickfix"));
        }
        if (!wanted) return Json::array();
    }
    std::uint64_t begin = open.offsetOf(range.start, encoding_);
    std::uint64_t end = open.offsetOf(range.end, encoding_);
    if (end < begin) std::swap(begin, end);
    Json actions = Json::array();
    Ranges ranges(open.text(), open.lines(), encoding_);
    for (const Fix& fix : fixesWithin(open.text(), begin, end)) {
        Json edit = {{"range", ranges(fix.edit.begin, fix.edit.end)}, {"newText", fix.edit.text}};
        Json changes = Json::object();
        changes[uri] = Json::array({std::move(edit)});
        actions.push_back({{"title", fix.title},
                           {"kind", "quickfix"},
                           {"isPreferred", true},
                           {"diagnostics", {diagnosticJson(diagnosticOf(fix.finding), ranges)}},
                           {"edit", {{"changes", std::move(changes)}}}});
    }
    return actions;
}

Json Server::executeCommand(const Json& params) {
    const std::string& command = stringMember(params, "command");
    if (command == kFromJsonCommand) return fromJson(params);
    if (command != kConvertCommand) {
        throw RpcError(ErrorCode::InvalidParams, "no command " + command);
    }
    const Json* arguments = optionalMember(params, "arguments");
    if (arguments == nullptr || !arguments->is_array() || arguments->empty()) {
        throw RpcError(ErrorCode::InvalidParams, "kessa.convert takes the document's URI");
    }
    const Json& argument = arguments->front();
    const std::string& uri = argument.is_string() ? argument.get_ref<const std::string&>()
                                                  : stringMember(argument, "uri");
    const auto found = documents_.find(uri);
    if (found == documents_.end()) {
        throw RpcError(ErrorCode::InvalidParams, "no open document " + uri);
    }
    const std::string_view text = found->second.text();
    std::string json;
    pelmo::StringSink sink(json);
    try {
        kessa::writeIndentedJson(text, sink);  // what it wrote before a fault is dropped
    } catch (const kessa::SyntaxError& error) {
        const Position at = positionOf(text, found->second.lines(), error.offset(), encoding_);
        throw RpcError(ErrorCode::RequestFailed,
                       "line " + std::to_string(at.line + 1) + ": " + error.describe());
    }
    return json;
}

// kessa.fromJson: the kessa text of a JSON document, which the server does not hold open (it
// reads kessa only): the client hands its text, or the server reads its file: URI. What keeps it
// from being written, the values no kessa text gives or the fault of a text that is not JSON, is
// published as diagnostics of that JSON document, and cleared once it converts.
Json Server::fromJson(const Json& params) {
    const Json* arguments = optionalMember(params, "arguments");
    if (arguments == nullptr || !arguments->is_array() || arguments->empty() ||
        !arguments->front().is_object()) {
        throw RpcError(
            ErrorCode::InvalidParams,
            "kessa.fromJson takes {\"uri\": the JSON document's URI, \"text\": its text}");
    }
    const Json& argument = arguments->front();
    const std::string& uri = stringMember(argument, "uri");
    std::string text;
    if (const Json* given = optionalMember(argument, "text");
        given != nullptr && given->is_string()) {
        text = given->get<std::string>();
    } else {
        const std::optional<std::string> path = pelmo::detail::pathOfUri(uri);
        if (!path) throw RpcError(ErrorCode::InvalidParams, "no text given, and no file at " + uri);
        try {
            // A file that is not there reads as empty text, which is no JSON.
            if (!pelmo::pathExists(pelmo::toNativePath(*path))) {
                throw std::runtime_error("no such file");
            }
            text = pelmo::readFileToString(path->c_str());
        } catch (const std::exception& failure) {
            throw RpcError(ErrorCode::RequestFailed,
                           "cannot read " + *path + ": " + failure.what());
        }
    }
    struct Refusals final : kessa::JsonToKessaHandler {
        std::vector<kessa::JsonRefusal> list;
        void refused(const kessa::JsonRefusal& refusal) override { list.push_back(refusal); }
    } refusals;
    const LineIndex lines(text);
    Ranges ranges(text, lines, encoding_);
    Json diagnostics = Json::array();
    std::string kessaText;
    pelmo::StringSink sink(kessaText, kessa::inMemoryLayoutBound(text.size()),
                           kessa::kLayoutTooLarge);
    kessa::JsonToKessaOptions options;
    options.layout = layout_;
    try {
        kessa::jsonToKessa(text, &sink, refusals, options);
        for (const kessa::JsonRefusal& refusal : refusals.list) {
            diagnostics.push_back(
                {{"range",
                  ranges(refusal.place.offset, refusal.place.offset + refusal.place.length)},
                 {"severity", 1},
                 {"source", "kessa"},
                 {"code", std::string(kessa::code(refusal.reason))},
                 {"message", (refusal.pointer.empty() ? "" : refusal.pointer + ": ") +
                                 pelmo::detail::printable(refusal.message)}});
        }
    } catch (const pelmo::OutputTooLarge& error) {
        throw RpcError(ErrorCode::RequestFailed, error.what());
    } catch (const pelmo::JsonSyntaxError& error) {
        const std::uint64_t end = std::min<std::uint64_t>(error.offset() + 1, text.size());
        diagnostics.push_back({{"range", ranges(error.offset(), end)},
                               {"severity", 1},
                               {"source", "kessa"},
                               {"code", std::string(kessa::kMalformedCode)},
                               {"message", "not JSON: " + error.reason()}});
    }
    send(notificationText("textDocument/publishDiagnostics",
                          {{"uri", uri}, {"diagnostics", diagnostics}}));
    if (!diagnostics.empty()) return {{"kessa", nullptr}, {"problems", diagnostics.size()}};
    return {{"kessa", std::move(kessaText)}, {"problems", 0}};
}

// Formatting: the client's FormattingOptions are not read. The layout is the project's (or
// kessa.format.indent's), the same in every editor and in kessafmt, as gofmt and prettier keep
// theirs: an editor's tab size would make each user's save undo the last one's.

Json Server::formatting(const Json& params) {
    const Document& open = document(params);
    return formattingJson(open, [&open, this] { return formattingEdits(open.text(), layout_); });
}

Json Server::rangeFormatting(const Json& params) {
    const Document& open = document(params);
    const Range range = rangeMember(params, "range");
    std::uint64_t begin = open.offsetOf(range.start, encoding_);
    std::uint64_t end = open.offsetOf(range.end, encoding_);
    if (end < begin) std::swap(begin, end);
    return formattingJson(open, [&open, begin, end, this] {
        return rangeFormattingEdits(open.text(), begin, end, layout_);
    });
}

Json Server::formattingJson(const Document& open,
                            const std::function<std::vector<Edit>()>& format) const {
    std::vector<Edit> edits;
    try {
        edits = format();
    } catch (const kessa::SyntaxError&) {
        return Json::array();  // its diagnostic shows the fault
    } catch (const FormattedTooLarge& error) {
        throw RpcError(ErrorCode::RequestFailed, error.what());
    }
    Ranges ranges(open.text(), open.lines(), encoding_);
    Json result = Json::array();
    for (const Edit& edit : edits) {
        // JSON carries only UTF-8: other bytes would reach the editor changed.
        if (!pelmo::detail::isUtf8(edit.text)) {
            throw RpcError(ErrorCode::RequestFailed,
                           "the lines to format hold bytes that are not UTF-8, which the "
                           "protocol cannot carry: run kessafmt on the file instead");
        }
        result.push_back({{"range", ranges(edit.begin, edit.end)}, {"newText", edit.text}});
    }
    return result;
}

}  // namespace lsp
