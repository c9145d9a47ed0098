// How soon kessa-language-server's diagnostics follow an edit of a large document:
//
//   lsp_latency SERVER [MEGABYTES=10] [CHANGES=40] [FINDING_EVERY=0] [SCHEMA]
//
// starts SERVER over pipes, opens the seeded realistic workload of MEGABYTES (with a finding on
// about every FINDING_EVERY-th line where not 0: 3 gives a finding on most records), and then
// makes CHANGES edits one at a time, each putting a leading zero before a number in the middle of
// the text or taking it away again, and times each from the moment its didChange is written to
// the moment its publishDiagnostics has been read whole (which must hold the finding, or not).
// It reports the size of those messages and the server's peak resident memory. Then it sends
// five changes back to back and counts how many of their versions were published: the older ones
// should have been dropped. With a SCHEMA (a JSON Schema file), the server's settings have it
// check the document, whose diagnostics then hold the schema's too; and CHANGES completion
// requests at a key (at the end of the text: the slowest, both passes read all of it) and at
// the value in the middle are timed from request to reply. CHANGES requests to format the whole
// document are timed too, first in the project's layout and then with kessa.format.indent "2",
// which changes every indented line. The server's CPU time per change,
// which the machine's other work does not stretch, is given beside the wall times, and the load
// average before and after. POSIX only.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "workload.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "lsp_latency: %s\n", what);
    std::exit(1);
}

class Client {
public:
    explicit Client(const char* server) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) fail("no pipes");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl(server, server, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
        reader_ = std::thread([this] { read(); });
    }

    void send(const Json& message) {
        const std::string body = message.dump();
        const std::string framed =
            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        for (std::size_t at = 0; at < framed.size();) {
            const ssize_t put = write(to_, framed.data() + at, framed.size() - at);
            if (put <= 0) fail("cannot write to the server");
            at += static_cast<std::size_t>(put);
        }
    }

    struct Published {
        std::size_t count;       // diagnostics
        std::size_t bytes;       // of the message's body
        Clock::time_point when;  // read whole
    };

    /// Waits for the diagnostics of `version`.
    Published diagnostics(std::int64_t version) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::seconds(60),
                               [&] { return published_.count(version) != 0; })) {
            fail("no diagnostics within a minute");
        }
        return published_[version];
    }

    std::size_t publishedCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return published_.size();
    }

    /// Sends a request and waits for its reply; returns how long that took, in ms, and the
    /// number of items of a completion list.
    std::pair<double, std::size_t> ask(const std::string& method, const Json& params) {
        const std::int64_t id = ++asked_;
        const Clock::time_point sent = Clock::now();
        send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::seconds(60),
                               [&] { return replies_.count(id) != 0; })) {
            fail("no reply within a minute");
        }
        const auto [when, items] = replies_[id];
        return {std::chrono::duration<double, std::milli>(when - sent).count(), items};
    }

    /// Keeps the result of the next reply that is a list (formatting's edits) for lastResult().
    void keepResult() {
        std::lock_guard<std::mutex> lock(mutex_);
        keepResult_ = true;
    }
    Json lastResult() {
        std::lock_guard<std::mutex> lock(mutex_);
        keepResult_ = false;
        return std::move(lastResult_);
    }

    /// The server's CPU time so far, user and system, in ms (0 where /proc does not tell).
    double cpuMilliseconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t paren = line.rfind(')');
        if (paren == std::string::npos) return 0;
        std::istringstream fields(line.substr(paren + 2));
        std::string field;
        unsigned long long user = 0, system = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {  // fields 14 and 15: utime, stime
            if (i == 14) user = std::stoull(field);
            if (i == 15) system = std::stoull(field);
        }
        return static_cast<double>(user + system) * 1000.0 /
               static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    /// The server's peak resident memory so far, in kB (0 where /proc does not tell).
    std::size_t peakKilobytes() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0) return std::strtoul(line.c_str() + 6, nullptr, 10);
        }
        return 0;
    }

    int finish() {
        close(to_);
        int status = 0;
        waitpid(pid_, &status, 0);
        reader_.join();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void read() {
        std::string buffer;
        char chunk[1 << 16];
        for (;;) {
            const ssize_t got = ::read(from_, chunk, sizeof chunk);
            if (got <= 0) return;
            buffer.append(chunk, static_cast<std::size_t>(got));
            for (;;) {
                const std::size_t blank = buffer.find("\r\n\r\n");
                if (blank == std::string::npos) break;
                const std::size_t length = std::stoul(buffer.substr(16, blank - 16));
                if (buffer.size() < blank + 4 + length) break;
                const Clock::time_point read = Clock::now();  // a reply: before it is parsed
                const Json message = Json::parse(buffer.substr(blank + 4, length));
                buffer.erase(0, blank + 4 + length);
                const Clock::time_point now = Clock::now();
                if (message.contains("id") && message["id"].is_number_integer()) {
                    // A completion list's items, or the edits of formatting.
                    const Json* items = nullptr;
                    if (message.contains("result") && message["result"].is_object() &&
                        message["result"].contains("items")) {
                        items = &message["result"]["items"];
                    } else if (message.contains("result") && message["result"].is_array()) {
                        items = &message["result"];
                    }
                    std::lock_guard<std::mutex> lock(mutex_);
                    replies_[message["id"].get<std::int64_t>()] = {read, items ? items->size() : 0};
                    if (items != nullptr && items->is_array() && keepResult_) lastResult_ = *items;
                    arrived_.notify_all();
                    continue;
                }
                if (message.value("method", "") != "textDocument/publishDiagnostics") continue;
                std::lock_guard<std::mutex> lock(mutex_);
                published_[message["params"]["version"].get<std::int64_t>()] = {
                    message["params"]["diagnostics"].size(), length, now};
                arrived_.notify_all();
            }
        }
    }

    pid_t pid_;
    int to_, from_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::map<std::int64_t, Published> published_;
    std::map<std::int64_t, std::pair<Clock::time_point, std::size_t>> replies_;
    std::int64_t asked_ = 100;
    bool keepResult_ = false;
    Json lastResult_;
};

/// The load average of the last minute, as the kernel tells it.
std::string loadAverage() {
    std::ifstream load("/proc/loadavg");
    std::string minute;
    load >> minute;
    return minute.empty() ? "?" : minute;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Json change(std::int64_t version, std::uint64_t line, std::uint64_t from, std::uint64_t to,
            const char* text) {
    const Json start = {{"line", line}, {"character", from}},
               end = {{"line", line}, {"character", to}};
    return {
        {"jsonrpc", "2.0"},
        {"method", "textDocument/didChange"},
        {"params",
         {{"textDocument", {{"uri", "file:///bench.kessa"}, {"version", version}}},
          {"contentChanges", {{{"range", {{"start", start}, {"end", end}}}, {"text", text}}}}}}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) fail("usage: lsp_latency SERVER [MEGABYTES] [CHANGES] [FINDING_EVERY] [SCHEMA]");
    const std::size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10;
    const int changes = argc > 3 ? std::atoi(argv[3]) : 40;
    bench::Generator generator(42);
    generator.findingEvery = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 0;
    generator.realistic(megabytes * 1'000'000);
    const std::string& text = generator.out.kessa;

    // A line in the middle whose value is a number: "key=123".
    std::uint64_t line = 0, column = 0;
    for (std::size_t at = text.size() / 2, count = 0;; ++at) {
        const std::size_t start = text.rfind('\n', at) + 1;
        const std::size_t equals = text.find('=', start);
        const std::size_t end = text.find('\n', start);
        if (equals < end && text[equals + 1] >= '1' && text[equals + 1] <= '9') {
            line = static_cast<std::uint64_t>(std::count(text.begin(), text.begin() + start, '\n'));
            column = equals + 1 - start;
            break;
        }
        at = end;
        if (++count > 1000) fail("no numeric line found");
    }

    Json initialize = {{"capabilities", Json::object()}};
    std::string schema;
    if (argc > 5) {
        schema = std::filesystem::absolute(argv[5]).string();
        if (!std::filesystem::exists(schema)) fail("no such schema file");
        initialize["initializationOptions"] = {{"schemas", {{schema, "*.kessa"}}}};
    }
    const std::string loadBefore = loadAverage();
    Client client(argv[1]);
    client.send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", initialize}});
    client.send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", Json::object()}});
    const Clock::time_point opened = Clock::now();
    client.send({{"jsonrpc", "2.0"},
                 {"method", "textDocument/didOpen"},
                 {"params",
                  {{"textDocument",
                    {{"uri", "file:///bench.kessa"},
                     {"languageId", "kessa"},
                     {"version", 1},
                     {"text", text}}}}}});
    const auto first = client.diagnostics(1);
    const double openMs = std::chrono::duration<double, std::milli>(first.when - opened).count();

    std::vector<double> latencies, cpu;
    std::size_t largest = 0, shown = 0;
    std::int64_t version = 1;
    for (int i = 0; i < changes; ++i) {
        const bool add = i % 2 == 0;
        ++version;
        const double cpuBefore = client.cpuMilliseconds();
        const Clock::time_point sent = Clock::now();
        client.send(add ? change(version, line, column, column, "0")
                        : change(version, line, column, column + 1, ""));
        const auto published = client.diagnostics(version);
        // The zero added is one finding more, which a capped list may only count.
        const bool matches = add ? published.count == first.count + 1 ||
                                       (first.count > 0 && published.count == first.count)
                                 : published.count == first.count;
        if (!matches) fail("the diagnostics do not match the edit");
        largest = std::max(largest, published.bytes);
        shown = std::max(shown, published.count);
        latencies.push_back(
            std::chrono::duration<double, std::milli>(published.when - sent).count());
        cpu.push_back(client.cpuMilliseconds() - cpuBefore);
    }
    // Completion, where a schema checks the document: at a key at the end of the text, and at
    // the value in the middle.
    std::vector<double> atKey, atValue;
    std::size_t keyItems = 0, valueItems = 0;
    const auto lines = static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
    for (int i = 0; !schema.empty() && i < changes; ++i) {
        const auto [keyMs, keys] = client.ask("textDocument/completion",
                                              {{"textDocument", {{"uri", "file:///bench.kessa"}}},
                                               {"position", {{"line", lines}, {"character", 0}}}});
        const auto [valueMs, values] = client.ask(
            "textDocument/completion", {{"textDocument", {{"uri", "file:///bench.kessa"}}},
                                        {"position", {{"line", line}, {"character", column}}}});
        atKey.push_back(keyMs);
        atValue.push_back(valueMs);
        keyItems = keys;
        valueItems = values;
    }
    // Formatting the whole document: as generated, with no indentation, which changes nearly
    // every line; in the layout, which changes none (the text the first edits give, here from
    // an ASCII text whose characters are bytes); in the layout with two spaces a level, which
    // changes every indented line.
    const Json formatting = {{"textDocument", {{"uri", "file:///bench.kessa"}}},
                             {"options", {{"tabSize", 4}, {"insertSpaces", true}}}};
    const char* formatCases[] = {"as generated", "in the layout", "with two spaces a level"};
    std::vector<double> formatMs[3], formatCpu[3];
    std::size_t formatEdits[3] = {0, 0, 0};
    for (int at = 0; at < 3; ++at) {
        if (at == 1) {
            std::string layout = text;
            std::vector<std::size_t> starts{0};
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\n') starts.push_back(i + 1);
            }
            const Json edits = client.lastResult();
            const auto offset = [&starts](const Json& position) {
                return starts[position["line"].get<std::size_t>()] +
                       position["character"].get<std::size_t>();
            };
            for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
                const std::size_t begin = offset((*edit)["range"]["start"]);
                layout.replace(begin, offset((*edit)["range"]["end"]) - begin,
                               (*edit)["newText"].get<std::string>());
            }
            client.send(
                {{"jsonrpc", "2.0"},
                 {"method", "textDocument/didChange"},
                 {"params",
                  {{"textDocument", {{"uri", "file:///bench.kessa"}, {"version", ++version}}},
                   {"contentChanges", {{{"text", layout}}}}}}});
            client.diagnostics(version);
        }
        if (at == 2) {
            client.send({{"jsonrpc", "2.0"},
                         {"method", "workspace/didChangeConfiguration"},
                         {"params", {{"settings", {{"kessa", {{"format", {{"indent", "2"}}}}}}}}}});
        }
        for (int i = 0; i < changes; ++i) {
            if (at == 0 && i + 1 == changes) client.keepResult();
            const double cpuBefore = client.cpuMilliseconds();
            const auto [ms, edits] = client.ask("textDocument/formatting", formatting);
            formatCpu[at].push_back(client.cpuMilliseconds() - cpuBefore);
            formatMs[at].push_back(ms);
            formatEdits[at] = edits;
        }
    }
    // Five changes in a row: the versions replaced while analysed are dropped.
    const std::size_t before = client.publishedCount();
    for (int i = 0; i < 5; ++i) {
        ++version;
        client.send(i % 2 == 0 ? change(version, line, column, column, "0")
                               : change(version, line, column, column + 1, ""));
    }
    client.diagnostics(version);
    const std::size_t burst = client.publishedCount() - before;
    const std::size_t peak = client.peakKilobytes();

    client.send({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "shutdown"}});
    client.send({{"jsonrpc", "2.0"}, {"method", "exit"}});
    const int status = client.finish();

    std::sort(latencies.begin(), latencies.end());
    if (!schema.empty()) std::printf("schema: %s\n", schema.c_str());
    std::printf(
        "document: %.1f MB, %zu lines, %zu diagnostics published; open to first diagnostics: "
        "%.0f ms\n",
        static_cast<double>(text.size()) / 1e6,
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), first.count, openMs);
    std::printf(
        "change to diagnostics over %d changes: median %.1f ms, 90th %.1f ms, max %.1f ms\n",
        changes, latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10],
        latencies.back());
    std::printf("server CPU time per change: median %.1f ms, max %.1f ms\n", median(cpu),
                *std::max_element(cpu.begin(), cpu.end()));
    std::printf(
        "message after a change: %zu diagnostics, %.1f KB at most; server peak memory %.0f MB\n",
        shown, static_cast<double>(largest) / 1e3, static_cast<double>(peak) / 1e3);
    if (!atKey.empty()) {
        std::printf(
            "completion over %d requests each: at a key at the end, median %.1f ms, max %.1f ms "
            "(%zu items); at a value in the middle, median %.1f ms, max %.1f ms (%zu items)\n",
            changes, median(atKey), *std::max_element(atKey.begin(), atKey.end()), keyItems,
            median(atValue), *std::max_element(atValue.begin(), atValue.end()), valueItems);
    }
    for (int at = 0; at < 3; ++at) {
        std::printf(
            "formatting %s over %d requests: median %.1f ms, max %.1f ms, server CPU median "
            "%.1f ms (%zu edits)\n",
            formatCases[at], changes, median(formatMs[at]),
            *std::max_element(formatMs[at].begin(), formatMs[at].end()), median(formatCpu[at]),
            formatEdits[at]);
    }
    std::printf("load average: %s before, %s after\n", loadBefore.c_str(), loadAverage().c_str());
    std::printf("five changes in a row: %zu of 5 versions published; exit status %d\n", burst,
                status);
    return status == 0 ? 0 : 1;
}
