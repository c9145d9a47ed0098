#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lsp/server.h"
#include "scratch_dir.h"

namespace {

using lsp::Json;

/// The client's side of an in-memory transport. The server's replies wait until it has read to
/// the end of the input, so that every message is queued before the first is
/// answered; a server paused in its input is let through, and so is one that an exit
/// notification stops before the end, once it has all the bytes. Its waits poll: condition
/// variables lost wake-ups under Wine.
class Pipe final : public lsp::ByteSource, public lsp::ByteSink {
public:
    /// The input, where it pauses until release() is called, and whether the server stops at an
    /// exit notification before reading to the end.
    explicit Pipe(std::string input, std::size_t pause = std::string::npos, bool exits = false)
        : input_(std::move(input)), pause_(pause), exits_(exits) {}

    void release() { pause_ = std::string::npos; }

    std::size_t read(char* buffer, std::size_t size) override {
        if (at_ == pause_) open_ = true;
        while (at_ == pause_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::size_t count = std::min({size, input_.size() - at_, pause_.load() - at_});
        input_.copy(buffer, count, at_);
        at_ += count;
        if (count == 0 || (exits_ && at_ == input_.size())) open_ = true;
        return count;
    }

    void write(std::string_view bytes) override {
        while (!open_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> lock(mutex_);
        output_ += bytes;
    }

    /// The messages the server wrote.
    std::vector<Json> messages() const {
        std::vector<Json> messages;
        std::string_view rest = output_;
        while (!rest.empty()) {
            const std::size_t blank = rest.find("\r\n\r\n");
            const std::size_t length = std::stoul(std::string(rest.substr(16, blank - 16)));
            messages.push_back(Json::parse(rest.substr(blank + 4, length)));
            rest.remove_prefix(blank + 4 + length);
        }
        return messages;
    }

private:
    std::string input_;
    std::atomic<std::size_t> pause_;
    bool exits_;
    std::size_t at_ = 0;
    std::atomic<bool> open_ = false;  // the replies may be written
    std::mutex mutex_;
    std::string output_;
};

struct Session {
    int status;
    std::vector<Json> messages;

    /// The reply to the request `id`, or null.
    Json reply(int id) const {
        for (const Json& message : messages) {
            if (message.contains("id") && message["id"] == id) return message;
        }
        return nullptr;
    }
    /// The diagnostics published, in order.
    std::vector<Json> published() const {
        std::vector<Json> list;
        for (const Json& message : messages) {
            if (message.value("method", "") == "textDocument/publishDiagnostics") {
                list.push_back(message["params"]);
            }
        }
        return list;
    }
};

/// The error code of a reply, or 0.
int errorCode(const Json& reply) {
    return reply.contains("error") ? reply["error"].value("code", 1) : 0;
}

std::string framed(const std::vector<std::string>& bodies) {
    std::string input;
    for (const std::string& body : bodies) {
        input += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    return input;
}

/// Runs a server over the framed `bodies`, to their end.
Session serve(const std::vector<std::string>& bodies,
              lsp::Analyzer::Analysis analysis = lsp::diagnose) {
    const bool exits = std::any_of(bodies.begin(), bodies.end(), [](const std::string& body) {
        return body.find("\"exit\"") != std::string::npos;
    });
    Pipe pipe(framed(bodies), std::string::npos, exits);
    const int status = lsp::Server(pipe, pipe, nullptr, std::move(analysis)).run();
    return {status, pipe.messages()};
}

std::string request(int id, const std::string& method, const Json& params = Json::object()) {
    return Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
}
std::string notification(const std::string& method, const Json& params = Json::object()) {
    return Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump();
}

const std::string kInitialize = request(1, "initialize", {{"capabilities", Json::object()}});
const std::string kInitialized = notification("initialized");
const std::string kUri = "file:///t/a.kessa";

std::string didOpen(const std::string& text, int version = 1) {
    return notification(
        "textDocument/didOpen",
        {{"textDocument",
          {{"uri", kUri}, {"languageId", "kessa"}, {"version", version}, {"text", text}}}});
}

Json at(int line, int character) {
    return {{"line", line}, {"character", character}};
}
Json range(int line, int from, int to) {
    return {{"start", at(line, from)}, {"end", at(line, to)}};
}
Json document() {
    return {{"uri", kUri}};
}

std::string change(int version, const Json& changes) {
    return notification(
        "textDocument/didChange",
        {{"textDocument", {{"uri", kUri}, {"version", version}}}, {"contentChanges", changes}});
}

}  // namespace

// Requests and the lifecycle: the error each wrong one gets, and the exit status.
TEST(Server, Lifecycle) {
    const struct {
        std::vector<std::string> bodies;
        int id;          // the reply looked at
        int error;       // its error code, 0 for a result
        int status = 1;  // the exit status
    } rows[] = {
        {{request(2, "shutdown")}, 2, -32002},
        {{kInitialize, request(2, "kessa/unknown")}, 2, -32601},
        {{kInitialize, kInitialize}, 1, 0},
        {{kInitialize, request(3, "initialize")}, 3, -32600},
        {{kInitialize, request(2, "shutdown"), notification("exit")}, 2, 0, 0},
        {{kInitialize, request(2, "shutdown"), request(3, "shutdown")}, 3, -32600, 0},
        {{kInitialize, notification("exit"), request(2, "shutdown")}, 2, -1},  // not read
        {{kInitialize, request(2, "textDocument/hover", {{"textDocument", document()}})},
         2,
         -32602},
        {{kInitialize, request(2, "textDocument/hover", Json::array())}, 2, -32602},
        {{kInitialize, request(2, "workspace/executeCommand", {{"command", "x"}})}, 2, -32602},
        {{kInitialize, didOpen("a=1\n"),
          request(2, "textDocument/hover",
                  {{"textDocument", document()}, {"position", at(0, -1)}})},
         2,
         -32602},
        {{kInitialize, R"({"jsonrpc":"2.0","id":2,"method":"shutdown","params":5})"}, 2, -32600},
        // The methods that take no params, as clients send them: "params": null, or none.
        {{kInitialize, R"({"jsonrpc":"2.0","id":2,"method":"shutdown","params":null})",
          R"({"jsonrpc":"2.0","method":"exit","params":null})"},
         2,
         0,
         0},
        {{kInitialize, R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})",
          R"({"jsonrpc":"2.0","method":"exit"})"},
         2,
         0,
         0},
        {{kInitialize, R"({"jsonrpc":"2.0","method":"initialized","params":null})",
          R"({"jsonrpc":"2.0","id":2,"method":"shutdown","params":null})"},
         2,
         0,
         0},
        // The others still need theirs.
        {{kInitialize, R"({"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":null})"},
         2,
         -32602},
        {{kInitialize, R"({"jsonrpc":"2.0","id":2,"method":"textDocument/codeAction"})"},
         2,
         -32602},
        // Notifications before initialize are dropped: no document is open.
        {{didOpen("a=1\n"), kInitialize,
          request(2, "textDocument/hover", {{"textDocument", document()}, {"position", at(0, 2)}})},
         2,
         -32602},
    };
    for (const auto& row : rows) {
        const Session session = serve(row.bodies);
        const Json reply = session.reply(row.id);
        const std::string shown = testing::PrintToString(row.bodies);
        EXPECT_EQ(session.status, row.status) << shown;
        if (row.error == -1) {
            EXPECT_TRUE(reply.is_null()) << shown;
        } else {
            EXPECT_EQ(errorCode(reply), row.error) << shown;
            EXPECT_EQ(reply.contains("result"), row.error == 0) << shown;
        }
    }
}

// What cannot be a message gets an error with no id, and the server goes on.
TEST(Server, BadMessagesAndCancellation) {
    const Session session =
        serve({kInitialize, "{oops", "[1]", R"({"jsonrpc":"2.0","method":7})",
               request(2, "shutdown", Json::object()).insert(0, "  "),
               request(3, "workspace/executeCommand",
                       {{"command", "kessa.convert"}, {"arguments", {kUri}}}),
               notification("$/cancelRequest", {{"id", 3}}), notification("kessa/unknown")});
    std::vector<int> codes;
    for (const Json& message : session.messages) {
        if (message.contains("error")) {
            codes.push_back(message["error"]["code"]);
            if (message["id"].is_null()) continue;
            EXPECT_EQ(message["id"], 3);
        }
    }
    EXPECT_EQ(codes, (std::vector<int>{-32700, -32600, -32600, -32800}));
    EXPECT_TRUE(session.reply(2).contains("result"));
    EXPECT_EQ(session.status, 0);
}

// Diagnostics follow the text as the client edits it, in UTF-16 units, and go on close. Each
// row's last version is published last.
TEST(Server, DiagnosticsFollowEdits) {
    const std::string opened = didOpen("\xF0\x9F\x98\x80=007\n");  // an emoji: two UTF-16 units
    const std::string zeros = change(2, {{{"range", range(0, 4, 5)}, {"text", "1"}}});  // 017
    const std::string plus =
        change(3, {{{"range", range(0, 3, 6)}, {"text", "5"}}, {{"text", "x=+1\n"}}});
    const std::string closing =
        notification("textDocument/didClose", {{"textDocument", document()}});
    const struct {
        std::vector<std::string> bodies;
        int version;  // of the last diagnostics, -1 for those of the close
        Json diagnostics;
    } rows[] = {
        {{kInitialize, opened},
         1,
         {{{"range", range(0, 3, 6)},
           {"severity", 2},
           {"source", "kessa"},
           {"code", "leading-zeros"},
           {"message",
            "the leading zeros of \"007\" are dropped, quoted or not: it becomes 7 and "
            "cannot stay text"}}}},
        {{kInitialize, opened, zeros},
         2,
         {{{"range", range(0, 3, 6)},
           {"severity", 2},
           {"source", "kessa"},
           {"code", "leading-zeros"},
           {"message",
            "the leading zeros of \"017\" are dropped, quoted or not: it becomes 17 and "
            "cannot stay text"}}}},
        {{kInitialize, opened, zeros, plus},
         3,
         {{{"range", range(0, 2, 4)},
           {"severity", 2},
           {"source", "kessa"},
           {"code", "plus-sign"},
           {"message",
            "the plus sign of \"+1\" is dropped, quoted or not: it becomes 1 and "
            "cannot stay text"}}}},
        {{kInitialize, opened, zeros, closing}, -1, Json::array()},
        {{kInitialize, opened, closing, didOpen("a=1\n", 5)}, 5, Json::array()},
    };
    for (const auto& row : rows) {
        const std::vector<Json> published = serve(row.bodies).published();
        ASSERT_FALSE(published.empty());
        const Json& last = published.back();
        EXPECT_EQ(last["uri"], kUri);
        EXPECT_EQ(last.contains("version") ? last["version"].get<int>() : -1, row.version);
        EXPECT_EQ(last["diagnostics"], row.diagnostics) << last.dump();
    }
}

// A version whose findings are still being computed when a newer one arrives is never
// published, even when its computation ends: the newer version is read only once the older one's
// analysis has started, and that analysis ends only once it is stale.
TEST(Server, OlderFindingsAreNeverPublished) {
    const std::string first = framed({kInitialize, didOpen("a=01\n")});
    Pipe pipe(first + framed({change(2, {{{"text", "a=+1\n"}}})}), first.size());
    const auto slowFirst = [&pipe](std::string_view text, lsp::DiagnosticList& list,
                                   const std::atomic<bool>* stale) {
        if (text == "a=01\n") {
            pipe.release();
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!stale->load() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        lsp::diagnose(text, list);
    };
    EXPECT_EQ(lsp::Server(pipe, pipe, nullptr, slowFirst).run(), 1);
    std::vector<Json> published = Session{0, pipe.messages()}.published();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0]["version"], 2);
    EXPECT_EQ(published[0]["diagnostics"][0]["code"], "plus-sign");
}

// The features, each through its request, with the client's UTF-8 positions where offered.
TEST(Server, Features) {
    const std::string text = "name=d\xC3\xA9mo\nmotd = \"Hi, you\"\nb={x,\n";
    const Session session = serve({
        request(1, "initialize",
                {{"capabilities", {{"general", {{"positionEncodings", {"utf-16", "utf-8"}}}}}}}),
        didOpen(text),
        request(2, "textDocument/hover", {{"textDocument", document()}, {"position", at(0, 6)}}),
        request(3, "textDocument/documentSymbol", {{"textDocument", document()}}),
        request(4, "textDocument/codeAction",
                {{"textDocument", document()},
                 {"range", range(1, 0, 0)},
                 {"context", {{"diagnostics", Json::array()}}}}),
        request(5, "workspace/executeCommand",
                {{"command", "kessa.convert"}, {"arguments", {kUri}}}),
        change(2, {{{"range", range(2, 0, 5)}, {"text", ""}}}),
        request(6, "workspace/executeCommand",
                {{"command", "kessa.convert"}, {"arguments", {{{"uri", kUri}}}}}),
        request(7, "textDocument/codeAction",
                {{"textDocument", document()},
                 {"range", range(1, 0, 12)},
                 {"context", {{"diagnostics", Json::array()}, {"only", {"refactor", "source"}}}}}),
        request(8, "textDocument/codeAction",
                {{"textDocument", document()},
                 {"range", range(1, 0, 12)},
                 {"context", {{"diagnostics", Json::array()}}}}),
    });
    EXPECT_EQ(session.reply(1)["result"]["capabilities"]["positionEncoding"], "utf-8");
    const Json hover = session.reply(2)["result"];
    EXPECT_EQ(hover["contents"]["value"], "\"d\xC3\xA9mo\" (string)");
    EXPECT_EQ(hover["range"], range(0, 5, 10));
    const Json symbols = session.reply(3)["result"];
    ASSERT_EQ(symbols.size(), 4u);
    EXPECT_EQ(symbols[0]["name"], "name");
    EXPECT_EQ(symbols[0]["kind"], 15);
    EXPECT_EQ(symbols[0]["range"], range(0, 0, 10));
    EXPECT_EQ(symbols[3]["name"], "b");
    EXPECT_EQ(symbols[3]["kind"], 18);
    EXPECT_EQ(symbols[3]["children"].size(), 1u);
    EXPECT_EQ(symbols[3]["children"][0]["name"], "[0]");
    // The malformed text gets no fix, and no JSON.
    EXPECT_EQ(session.reply(4)["result"], Json::array());
    EXPECT_EQ(session.reply(5)["error"]["code"], -32803);
    EXPECT_EQ(session.reply(5)["error"]["message"], "line 3: this left brace is never closed");
    EXPECT_EQ(
        session.reply(6)["result"],
        "{\n    \"name\": \"d\xC3\xA9mo\",\n    \"motd\": \"\\\"Hi\",\n    \"\": \"you\\\"\"\n}");
    EXPECT_EQ(session.reply(7)["result"], Json::array());
    const Json actions = session.reply(8)["result"];
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0]["kind"], "quickfix");
    EXPECT_EQ(actions[0]["diagnostics"][0]["code"], "blank-before-quote");
    EXPECT_EQ(actions[0]["edit"]["changes"][kUri],
              Json::array({{{"range", range(1, 6, 7)}, {"newText", ""}}}));
}

// A client that sends a document's bytes as they are, not UTF-8, gets them counted as one unit
// each, and the finding about them.
TEST(Server, BytesThatAreNotUtf8) {
    const std::string body =
        R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":")" +
        kUri + R"(","languageId":"kessa","version":1,"text":")" + "k=caf\xE9\\n\xE9=\\\"01\\\"\\n" +
        R"("}}})";
    const Session session = serve({kInitialize, body});
    const std::vector<Json> published = session.published();
    ASSERT_EQ(published.size(), 1u);
    const Json& diagnostics = published[0]["diagnostics"];
    ASSERT_EQ(diagnostics.size(), 3u);
    EXPECT_EQ(diagnostics[0]["code"], "not-utf8");
    EXPECT_EQ(diagnostics[0]["range"], range(0, 2, 6));
    EXPECT_EQ(diagnostics[1]["code"], "not-utf8");
    EXPECT_EQ(diagnostics[1]["range"], range(1, 0, 1));
    EXPECT_EQ(diagnostics[2]["code"], "leading-zeros");
    EXPECT_EQ(diagnostics[2]["range"], range(1, 3, 5));
}

// A document publishes at most 1,000 diagnostics, the first in the text, and then a note at the
// start that counts the rest; a malformed text's fault is always among them.
TEST(Server, DiagnosticsCapped) {
    const auto zeros = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text.append("k").append(std::to_string(i)).append("=01\n");
        return text;
    };
    const struct {
        std::string text;
        std::size_t shown;     // diagnostics before the note
        std::string lastCode;  // of the last before the note
        int lastLine;          // where it is
        std::string note;      // the start of the note's message; none if empty
    } rows[] = {
        {zeros(1000), 1000, "leading-zeros", 999, ""},
        {zeros(1001), 1000, "leading-zeros", 999, "1 more finding is not shown"},
        {zeros(1500), 1000, "leading-zeros", 999, "500 more findings are not shown"},
        // The repeated key is found last, on the first line: it is among the first 1,000.
        {"k0=1\n" + zeros(1500), 1000, "leading-zeros", 999, "501 more findings"},
        {zeros(999) + "b={\n", 1000, "malformed", 999, ""},
        {zeros(1200) + "b={\n", 1000, "malformed", 1200, "201 more findings"},
    };
    for (const auto& row : rows) {
        const std::vector<Json> published = serve({kInitialize, didOpen(row.text)}).published();
        ASSERT_EQ(published.size(), 1u);
        const Json& diagnostics = published[0]["diagnostics"];
        const std::string shown =
            row.text.substr(0, 12) + "... of " + std::to_string(row.text.size()) + " bytes";
        ASSERT_EQ(diagnostics.size(), row.shown + (row.note.empty() ? 0 : 1)) << shown;
        for (std::size_t i = 1; i < row.shown; ++i) {
            EXPECT_LE(diagnostics[i - 1]["range"]["start"]["line"],
                      diagnostics[i]["range"]["start"]["line"])
                << shown << ", diagnostic " << i;
        }
        const Json& last = diagnostics[row.shown - 1];
        EXPECT_EQ(last["code"], row.lastCode) << shown;
        EXPECT_EQ(last["range"]["start"]["line"], row.lastLine) << shown;
        if (row.note.empty()) continue;
        const Json& note = diagnostics.back();
        EXPECT_EQ(note["range"], range(0, 0, 0)) << shown;
        EXPECT_EQ(note["severity"], 3) << shown;
        EXPECT_FALSE(note.contains("code")) << shown;
        EXPECT_EQ(note["message"].get<std::string>().rfind(row.note, 0), 0u)
            << shown << ": " << note["message"];
    }
}

namespace {

/// The codes of the diagnostics last published.
std::vector<std::string> lastCodes(const Session& session) {
    std::vector<std::string> codes;
    const std::vector<Json> published = session.published();
    if (published.empty()) return {"(none published)"};
    for (const Json& diagnostic : published.back()["diagnostics"]) {
        codes.push_back(diagnostic.value("code", ""));
    }
    return codes;
}

std::string initializeWith(const Json& params) {
    Json all = params;
    if (!all.contains("capabilities")) all["capabilities"] = Json::object();
    return request(1, "initialize", all);
}

}  // namespace

// The kessa.schemas setting, from each place a client puts it, and what a schema that cannot be
// used says.
TEST(Server, SchemasFromSettings) {
    const ScratchDir dir("lsp-server-schemas");
    const std::string schema =
        dir.write("s.json", R"({"properties": {"port": {"type": "integer"}}})").generic_string();
    const Json schemas = {{schema, "*.kessa"}};
    const std::string folder = lsp::uriOfPath(dir.path.generic_string());
    const std::string opened = didOpen("port=x\n");
    const auto reply = [](const Json& result) {
        return Json{{"jsonrpc", "2.0"}, {"id", "kessa/1"}, {"result", result}}.dump();
    };
    const Json asks = {{"workspace", {{"configuration", true}}}};
    const struct {
        std::vector<std::string> bodies;
        std::vector<std::string> codes;
    } rows[] = {
        {{kInitialize, opened}, {}},
        {{initializeWith({{"initializationOptions", {{"kessa", {{"schemas", schemas}}}}}}), opened},
         {"schema-type"}},
        {{initializeWith({{"initializationOptions", {{"schemas", schemas}}}}), opened},
         {"schema-type"}},
        {{initializeWith({{"initializationOptions", {{"schemas", {{schema, "b/*.kessa"}}}}}}),
          opened},
         {}},
        // Relative to the workspace folder.
        {{initializeWith({{"rootUri", folder},
                          {"initializationOptions", {{"schemas", {{"s.json", "a.kessa"}}}}}}),
          opened},
         {"schema-type"}},
        {{initializeWith({{"workspaceFolders", {{{"uri", folder}, {"name", "w"}}}},
                          {"initializationOptions", {{"schemas", {{"./s.json", "*.kessa"}}}}}}),
          opened},
         {"schema-type"}},
        // Pushed, after the document opened, and then taken away.
        {{kInitialize, opened,
          notification("workspace/didChangeConfiguration",
                       {{"settings", {{"kessa", {{"schemas", schemas}}}}}})},
         {"schema-type"}},
        {{kInitialize, opened,
          notification("workspace/didChangeConfiguration",
                       {{"settings", {{"kessa", {{"schemas", schemas}}}}}}),
          notification("workspace/didChangeConfiguration",
                       {{"settings", {{"kessa", {{"schemas", Json::object()}}}}}})},
         {}},
        // Asked for, as kessa.schemas and as kessa, where the client answers
        // workspace/configuration; a null answer leaves what the initialization gave.
        {{initializeWith({{"capabilities", asks}}), kInitialized,
          reply(Json::array({schemas, nullptr})), opened},
         {"schema-type"}},
        {{initializeWith({{"capabilities", asks}}), kInitialized,
          reply(Json::array({nullptr, {{"schemas", schemas}}})), opened},
         {"schema-type"}},
        {{initializeWith(
              {{"capabilities", asks}, {"initializationOptions", {{"schemas", schemas}}}}),
          kInitialized, reply(Json::array({nullptr, nullptr})), opened},
         {"schema-type"}},
        {{initializeWith(
              {{"capabilities", asks}, {"initializationOptions", {{"schemas", schemas}}}}),
          kInitialized, reply(Json::array({Json::object(), nullptr})), opened},
         {}},
        // A schema that cannot be used.
        {{initializeWith(
              {{"initializationOptions",
                {{"schemas", {{dir.path.generic_string() + "/none.json", "*.kessa"}}}}}}),
          opened},
         {"schema-error"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(lastCodes(serve(row.bodies)), row.codes) << testing::PrintToString(row.bodies);
    }
}

// Completion and hovers from the schema, through their requests, in Markdown where the client
// shows it.
TEST(Server, CompletionAndHoverFromTheSchema) {
    const ScratchDir dir("lsp-server-completion");
    const std::string schema =
        dir.write("s.json",
                  R"({"properties": {"mode": {"enum": ["fast", "safe"], "description": "How."},
                                     "port": {"type": "integer"}}})")
            .generic_string();
    const Json capabilities = {
        {"textDocument",
         {{"hover", {{"contentFormat", {"markdown", "plaintext"}}}},
          {"completion", {{"completionItem", {{"documentationFormat", {"markdown"}}}}}}}}};
    const Session session = serve({
        initializeWith({{"capabilities", capabilities},
                        {"initializationOptions", {{"schemas", {{schema, "*.kessa"}}}}}}),
        didOpen("mode=f\n\n"),
        request(2, "textDocument/completion",
                {{"textDocument", document()}, {"position", at(0, 6)}}),
        request(3, "textDocument/completion",
                {{"textDocument", document()}, {"position", at(1, 0)}}),
        request(4, "textDocument/hover", {{"textDocument", document()}, {"position", at(0, 1)}}),
    });
    EXPECT_EQ(session.reply(1)["result"]["capabilities"]["completionProvider"],
              Json({{"triggerCharacters", {"=", "{", ","}}}));
    const Json values = session.reply(2)["result"]["items"];
    ASSERT_EQ(values.size(), 2u) << values.dump();
    EXPECT_EQ(values[0]["label"], "fast");
    EXPECT_EQ(values[0]["kind"], 12);
    EXPECT_EQ(values[0]["textEdit"], Json({{"range", range(0, 5, 6)}, {"newText", "fast"}}));
    EXPECT_EQ(values[0]["documentation"]["kind"], "markdown");
    EXPECT_EQ(values[0]["sortText"], "00000");
    const Json keys = session.reply(3)["result"]["items"];
    ASSERT_EQ(keys.size(), 1u) << keys.dump();
    EXPECT_EQ(keys[0]["label"], "port");
    EXPECT_EQ(keys[0]["kind"], 10);
    EXPECT_EQ(keys[0]["textEdit"]["newText"], "port=");
    const Json hover = session.reply(4)["result"]["contents"];
    EXPECT_EQ(hover["kind"], "markdown");
    EXPECT_EQ(hover["value"].get<std::string>().rfind(
                  "mode\n\n---\n\nHow.\n\nFrom [s.json:1](file://", 0),
              0u)
        << hover.dump();
}

namespace {

/// The didOpen of a text given as it stands in a JSON string, escapes and all: bytes that are
/// not UTF-8 reach the server as they are.
std::string didOpenEscaped(const std::string& escaped) {
    return R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":")" +
           kUri + R"(","languageId":"kessa","version":1,"text":")" + escaped + R"("}}})";
}

/// A text edit as the protocol has it.
Json textEdit(int line, int character, int endLine, int endCharacter, const std::string& text) {
    return {{"range", {{"start", at(line, character)}, {"end", at(endLine, endCharacter)}}},
            {"newText", text}};
}

}  // namespace

// Formatting through its requests: only the lines that change, placed in the client's units,
// with the indentation the settings ask for, whatever the client's own options say.
TEST(Server, Formatting) {
    // The client's options ask for tabs two columns wide: they are not taken.
    const Json options = {{"tabSize", 2}, {"insertSpaces", false}};
    const std::string format =
        request(2, "textDocument/formatting", {{"textDocument", document()}, {"options", options}});
    const auto formatRange = [&options](const Json& range) {
        return request(2, "textDocument/rangeFormatting",
                       {{"textDocument", document()}, {"range", range}, {"options", options}});
    };
    const std::string emoji = didOpen("b={\n  c=\"\xF0\x9F\x98\x80\"}");
    const std::string nested = didOpen("a= 1\nb={\n  c={\n  d=1\n  }\n}\n");
    const std::string plain = didOpen("b={\nc=2\n}\n");
    const Json changeLine = Json::array({textEdit(1, 0, 2, 0, "    c=2\n")});
    const Json asks = {{"workspace", {{"configuration", true}}}};
    const auto configured = [](const Json& result) {
        return Json{{"jsonrpc", "2.0"}, {"id", "kessa/1"}, {"result", result}}.dump();
    };
    const struct {
        const char* name;
        std::vector<std::string> bodies;
        Json result;               // of request 2; an integer: its error code
        const char* warning = "";  // the start of the message shown
    } rows[] = {
        {"UTF-16 units to the end of a last line without a line feed",
         {kInitialize, emoji, format},
         {textEdit(1, 0, 1, 9, "    c=\"\xF0\x9F\x98\x80\"\n}\n")}},
        {"bytes where the client offers UTF-8",
         {initializeWith({{"capabilities", {{"general", {{"positionEncodings", {"utf-8"}}}}}}}),
          emoji, format},
         {textEdit(1, 0, 1, 11, "    c=\"\xF0\x9F\x98\x80\"\n}\n")}},
        {"carriage returns and line feeds",
         {kInitialize, didOpen("a=1\r\nb={\r\nc=2\r\n}\r\n"), format},
         {textEdit(2, 0, 3, 0, "    c=2\r\n")}},
        {"the whole document",
         {kInitialize, nested, format},
         {textEdit(0, 0, 1, 0, "a=1\n"), textEdit(2, 0, 5, 0, "    c={\n        d=1\n    }\n")}},
        {"a range: the lines of the innermost object around it",
         {kInitialize, nested, formatRange(range(3, 2, 3))},
         {textEdit(2, 0, 5, 0, "    c={\n        d=1\n    }\n")}},
        {"a range given end first, across the root's members",
         {kInitialize, nested, formatRange({{"start", at(3, 3)}, {"end", at(0, 1)}})},
         {textEdit(0, 0, 1, 0, "a=1\n"), textEdit(2, 0, 5, 0, "    c={\n        d=1\n    }\n")}},
        {"in the layout already",
         {kInitialize, didOpen("b={\n    c=2\n}\n"), format},
         Json::array()},
        {"malformed: no edits", {kInitialize, didOpen("a={\n"), format}, Json::array()},
        {"malformed: no edits for a range",
         {kInitialize, didOpen("a={\n"), formatRange(range(0, 0, 1))},
         Json::array()},
        {"bytes that are not UTF-8 on a line that stays",
         {kInitialize, didOpenEscaped("k=caf\xE9\\nb={\\nc=2\\n}\\n"), format},
         {textEdit(2, 0, 3, 0, "    c=2\n")}},
        {"bytes that are not UTF-8 on a line that changes",
         {kInitialize, didOpenEscaped("b={\\nc=caf\xE9\\n}\\n"), format},
         -32803},
        {"a document not open", {kInitialize, format}, -32602},
        {"nested too deep to lay out",
         {kInitialize, didOpen(std::string(6000, '{') + std::string(6000, '}') + "\n"), format},
         -32803},
        // kessa.format.indent, from each place a client puts it.
        {"two spaces from initializationOptions",
         {initializeWith({{"initializationOptions", {{"format", {{"indent", "2"}}}}}}), plain,
          format},
         {textEdit(1, 0, 2, 0, "  c=2\n")}},
        {"tabs from initializationOptions, under kessa",
         {initializeWith(
              {{"initializationOptions", {{"kessa", {{"format", {{"indent", "tab"}}}}}}}}),
          plain, format},
         {textEdit(1, 0, 2, 0, "\tc=2\n")}},
        {"a number of spaces",
         {initializeWith({{"initializationOptions", {{"format", {{"indent", 3}}}}}}), plain,
          format},
         {textEdit(1, 0, 2, 0, "   c=2\n")}},
        {"a value not taken: said, and the project's four spaces",
         {initializeWith({{"initializationOptions", {{"format", {{"indent", "wide"}}}}}}), plain,
          format},
         changeLine,
         "kessa: kessa.format.indent must be"},
        {"pushed",
         {kInitialize, plain,
          notification("workspace/didChangeConfiguration",
                       {{"settings", {{"kessa", {{"format", {{"indent", "tab"}}}}}}}}),
          format},
         {textEdit(1, 0, 2, 0, "\tc=2\n")}},
        {"pushed as the dotted name",
         {kInitialize, plain,
          notification("workspace/didChangeConfiguration",
                       {{"settings", {{"kessa.format.indent", "2"}}}}),
          format},
         {textEdit(1, 0, 2, 0, "  c=2\n")}},
        {"asked for",
         {initializeWith({{"capabilities", asks}}), kInitialized,
          configured(Json::array({nullptr, {{"format", {{"indent", "2"}}}}})), plain, format},
         {textEdit(1, 0, 2, 0, "  c=2\n")}},
        {"asked for, a null answer: what the initialization gave",
         {initializeWith(
              {{"capabilities", asks}, {"initializationOptions", {{"format", {{"indent", "2"}}}}}}),
          kInitialized, configured(Json::array({nullptr, {{"format", {{"indent", nullptr}}}}})),
          plain, format},
         {textEdit(1, 0, 2, 0, "  c=2\n")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Session session = serve(row.bodies);
        const Json reply = session.reply(2);
        if (row.result.is_number()) {
            EXPECT_EQ(errorCode(reply), row.result.get<int>()) << reply.dump();
        } else {
            EXPECT_EQ(reply["result"], row.result) << reply.dump();
        }
        std::string shown;
        for (const Json& message : session.messages) {
            if (message.value("method", "") == "window/showMessage") {
                shown = message["params"]["message"];
            }
        }
        EXPECT_EQ(shown.substr(0, std::string_view(row.warning).size()), row.warning);
        EXPECT_EQ(shown.empty(), *row.warning == '\0') << shown;
    }
}

// kessa.fromJson: the kessa text of a JSON document the client hands over, or, where the values
// have none, diagnostics on that document, which a later conversion clears; its file read where
// no text is given.
TEST(Server, FromJson) {
    const std::string json = "file:///t/settings.json";
    // Its indentation would take gigabytes.
    std::string deepJson;
    for (int i = 0; i != 6000; ++i) deepJson += "{\"k\": ";
    deepJson.append("1").append(6000, '}');
    const auto fromJson = [&](int id, const Json& argument) {
        return request(id, "workspace/executeCommand",
                       {{"command", "kessa.fromJson"}, {"arguments", {argument}}});
    };
    const Session session = serve({
        kInitialize,
        fromJson(2, {{"uri", json}, {"text", "{\"name\": \"d\xC3\xA9mo\", \"e\": {}}"}}),
        fromJson(3, {{"uri", json}, {"text", "{\"a\": true,\n \"b\": \"007\"}"}}),
        fromJson(4, {{"uri", json}, {"text", "[1"}}),
        fromJson(5, {{"uri", json}, {"text", "{\"k\": 1}"}}),
        fromJson(6, {{"uri", "file:///no/such/file.json"}}),
        fromJson(7, json),
        fromJson(8, {{"uri", json}, {"text", deepJson}}),
    });
    EXPECT_EQ(session.reply(1)["result"]["capabilities"]["executeCommandProvider"]["commands"],
              Json::array({"kessa.convert", "kessa.fromJson"}));
    EXPECT_EQ(session.reply(2)["result"],
              Json({{"kessa", "name=d\xC3\xA9mo\ne={=}\n"}, {"problems", 0}}));
    EXPECT_EQ(session.reply(3)["result"], Json({{"kessa", nullptr}, {"problems", 2}}));
    EXPECT_EQ(session.reply(4)["result"], Json({{"kessa", nullptr}, {"problems", 1}}));
    EXPECT_EQ(session.reply(5)["result"]["kessa"], "k=1\n");
    EXPECT_EQ(errorCode(session.reply(6)), -32803);
    EXPECT_EQ(errorCode(session.reply(7)), -32602);
    EXPECT_EQ(errorCode(session.reply(8)), -32803);
    const std::vector<Json> published = session.published();
    ASSERT_EQ(published.size(), 4u);
    for (const Json& params : published) EXPECT_EQ(params["uri"], json);
    EXPECT_EQ(published[0]["diagnostics"], Json::array());
    const Json& refused = published[1]["diagnostics"];
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0]["code"], "no-boolean");
    EXPECT_EQ(refused[0]["range"], Json({{"start", at(0, 6)}, {"end", at(0, 10)}}));
    EXPECT_EQ(refused[1]["code"], "numeral-string");
    EXPECT_EQ(refused[1]["range"], Json({{"start", at(1, 6)}, {"end", at(1, 11)}}));
    EXPECT_EQ(refused[1]["message"].get<std::string>().rfind("/b: the string \"007\"", 0), 0u);
    EXPECT_EQ(published[2]["diagnostics"][0]["code"], "malformed");
    EXPECT_EQ(published[3]["diagnostics"], Json::array());
}
