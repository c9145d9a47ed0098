#include "tool/report.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <vector>

#include "tool/driver.h"

namespace report {

namespace {

/// Appends `text` as a JSON string. The texts reported are UTF-8: names and messages show other
/// bytes as \xNN.
void appendJson(std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\u00";
            out += kHex[(c >> 4) & 0xF];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string jsonText(std::string_view text) {
    std::string out;
    appendJson(out, text);
    return out;
}

/// Standard output through a buffer of its own, handed to the system in pieces of 64 KiB.
class Output {
public:
    Output& operator<<(std::string_view text) {
        buffer_.append(text);
        return *this;
    }
    Output& operator<<(char c) {
        buffer_ += c;
        return *this;
    }
    Output& operator<<(std::uint64_t number) {
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        buffer_.append(digits, static_cast<std::size_t>(end - digits));
        return *this;
    }
    Output& json(std::string_view text) {
        appendJson(buffer_, text);
        return *this;
    }

    /// Hands the buffer to the system once it is large enough to be worth a call.
    void pass() {
        if (buffer_.size() >= kChunk) flush();
    }
    void flush() {
        if (!buffer_.empty() &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
            fail();
        }
        buffer_.clear();
        if (std::fflush(stdout) != 0) fail();
    }

private:
    [[noreturn]] static void fail() {
        throw driver::Failure("cannot write to standard output: " +
                              std::error_code(errno, std::generic_category()).message());
    }

    static constexpr std::size_t kChunk = std::size_t{1} << 16;
    std::string buffer_;
};

/// `name` with the bytes that would end or split a workflow command's part escaped: % and line
/// breaks everywhere, and in a property also the : and , that separate properties.
std::string escapedForGithub(std::string_view name, bool property) {
    std::string text;
    for (const char c : name) {
        switch (c) {
            case '%':
                text += "%25";
                break;
            case '\r':
                text += "%0D";
                break;
            case '\n':
                text += "%0A";
                break;
            case ':':
                text += property ? "%3A" : ":";
                break;
            case ',':
                text += property ? "%2C" : ",";
                break;
            default:
                text += c;
        }
    }
    return text;
}

// ---- text: NAME:LINE:COLUMN: SEVERITY: MESSAGE [CODE] ----------------------------------------

class TextReport final : public Report {
public:
    bool capped() const override { return true; }
    void beginInput(const Input& input) override { name_ = input.name; }
    void finding(const Item& item) override {
        out_ << name_ << ':' << item.start.line << ':' << item.start.column << ": "
             << kessa::name(item.severity) << ": " << item.message << " [" << item.code << "]\n";
        out_.pass();
    }
    void more(std::uint64_t count) override {
        out_ << name_ << ": " << count << " more findings\n";
    }
    // Both are said on standard error alone, as a conversion says them.
    void fault(const Item&) override {}
    void failure(const std::string&) override {}
    // Before the next input's line on standard error, if it has one.
    void endInput() override { out_.flush(); }
    void finish(int) override { out_.flush(); }

private:
    Output out_;
    std::string name_;
};

// ---- github: ::warning file=NAME,line=L,col=C,endColumn=E,title=CODE::MESSAGE -----------------

class GithubReport final : public Report {
public:
    bool capped() const override { return true; }
    void beginInput(const Input& input) override {
        name_ = input.name;
        file_ = input.given == "-" ? "" : "file=" + escapedForGithub(input.name, true);
    }
    void finding(const Item& item) override {
        static constexpr std::array<std::string_view, 3> kCommands{"notice", "warning", "error"};
        out_ << "::" << kCommands[static_cast<std::size_t>(item.severity)] << ' ' << file_
             << (file_.empty() ? "" : ",") << "line=" << item.start.line
             << ",col=" << item.start.column;
        if (item.end.line != item.start.line) out_ << ",endLine=" << item.end.line;
        out_ << ",endColumn=" << item.end.column << ",title=" << item.code
             << "::" << escapedForGithub(item.message, false) << '\n';
        out_.pass();
    }
    void more(std::uint64_t count) override {
        out_ << name_ << ": " << count << " more findings\n";
    }
    void fault(const Item& item) override { finding(item); }
    void failure(const std::string& reason) override {
        out_ << "::error" << (file_.empty() ? "" : " ") << file_
             << "::" << escapedForGithub(reason, false) << '\n';
    }
    void endInput() override { out_.flush(); }
    void finish(int) override { out_.flush(); }

private:
    Output out_;
    std::string name_, file_;
};

// ---- json: one document, a list of findings per input ------------------------------------------

class JsonReport final : public Report {
public:
    explicit JsonReport(const Tool& tool) {
        out_ << "{\n    \"tool\": \"" << tool.name
             << "\",\n    \"version\": \"" KESSA2JSON_VERSION "\",\n    \"files\": [";
    }
    bool capped() const override { return false; }
    void beginInput(const Input& input) override {
        out_ << (firstInput_ ? "\n" : ",\n") << "        {\n            \"file\": ";
        out_.json(input.name) << ",\n            \"findings\": [";
        firstInput_ = false;
        firstItem_ = true;
        reason_.clear();
    }
    void finding(const Item& item) override {
        out_ << (firstItem_ ? "\n" : ",\n") << "                {\"code\": ";
        out_.json(item.code) << ", \"severity\": \"" << kessa::name(item.severity)
                             << "\", \"message\": ";
        out_.json(item.message) << ", \"line\": " << item.start.line
                                << ", \"column\": " << item.start.column
                                << ", \"endLine\": " << item.end.line
                                << ", \"endColumn\": " << item.end.column
                                << ", \"offset\": " << item.offset
                                << ", \"length\": " << item.length;
        if (!item.keyword.empty() || item.pointed) {
            out_ << ", \"pointer\": ";
            out_.json(item.pointer);
        }
        if (!item.keyword.empty()) {
            out_ << ", \"keyword\": ";
            out_.json(item.keyword);
        }
        out_ << '}';
        firstItem_ = false;
        out_.pass();
    }
    void more(std::uint64_t) override {}
    void fault(const Item& item) override { finding(item); }
    void failure(const std::string& reason) override { reason_ = reason; }
    void endInput() override {
        out_ << (firstItem_ ? "]" : "\n            ]");
        if (!reason_.empty()) {
            out_ << ",\n            \"error\": ";
            out_.json(reason_);
        }
        out_ << "\n        }";
    }
    void finish(int) override {
        out_ << (firstInput_ ? "]\n}\n" : "\n    ]\n}\n");
        out_.flush();
    }

private:
    Output out_;
    bool firstInput_ = true, firstItem_ = true;
    std::string reason_;
};

// ---- sarif: one run, one artifact per input, one rule per code ---------------------------------

/// `given` as a URI reference: a relative path stays relative, an absolute one becomes a file
/// URI; bytes other than unreserved ones and slashes are percent-encoded.
std::string uriOf(std::string_view given) {
    std::string uri;
#ifdef _WIN32
    const bool drive = given.size() >= 2 && given[1] == ':';
    if (drive) {
        uri = "file:///";
        uri += given.substr(0, 2);
        given.remove_prefix(2);
    } else if (!given.empty() && (given[0] == '/' || given[0] == '\\')) {
        uri = "file://";
    }
#else
    if (!given.empty() && given[0] == '/') uri = "file://";
#endif
    constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : given) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                                (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~' || c == '/';
#ifdef _WIN32
        if (c == '\\') {
            uri += '/';
            continue;
        }
#endif
        if (unreserved) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    return uri;
}

class SarifReport final : public Report {
public:
    explicit SarifReport(const Tool& tool) {
        out_ << "{\n    \"$schema\": "
                "\"https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/"
                "sarif-schema-2.1.0.json\",\n    \"version\": \"2.1.0\",\n    \"runs\": [\n"
                "        {\n            \"tool\": {\n                \"driver\": {\n"
                "                    \"name\": \""
             << tool.name
             << "\",\n"
                "                    \"version\": \"" KESSA2JSON_VERSION
                "\",\n"
                "                    \"rules\": [";
        for (std::size_t i = 0; i != kessa::kFindingKindCount; ++i) {
            const auto kind = static_cast<kessa::FindingKind>(i);
            rule(kessa::code(kind), kessa::summary(kind), kessa::severity(kind));
        }
        rule(kMalformed, tool.malformed, kessa::Severity::Error);
        out_ << "\n                    ]\n                }\n            },\n"
                "            \"columnKind\": \"unicodeCodePoints\",\n"
                "            \"results\": [";
    }
    bool capped() const override { return false; }
    void beginInput(const Input& input) override {
        const std::size_t index = artifacts_.size();
        artifacts_.push_back(location(input));
        // The same location with the artifact's index, as each result and failure refers to it.
        artifactLocation_ = artifacts_.back();
        artifactLocation_.insert(artifactLocation_.size() - 1,
                                 ", \"index\": " + std::to_string(index));
    }
    void finding(const Item& item) override {
        const auto kind = kessa::kindOfCode(item.code);
        const std::size_t index = kind ? static_cast<std::size_t>(*kind) : kessa::kFindingKindCount;
        out_ << (firstResult_ ? "\n" : ",\n") << "                {\"ruleId\": ";
        out_.json(item.code) << ", \"ruleIndex\": " << std::uint64_t{index} << ", \"level\": \""
                             << kessa::name(item.severity) << "\", \"message\": {\"text\": ";
        out_.json(item.message) << "}, \"locations\": [{\"physicalLocation\": "
                                   "{\"artifactLocation\": "
                                << artifactLocation_ << ", \"region\": {";
        out_ << "\"startLine\": " << item.start.line << ", \"startColumn\": " << item.start.column
             << ", \"endLine\": " << item.end.line << ", \"endColumn\": " << item.end.column
             << ", \"byteOffset\": " << item.offset << ", \"byteLength\": " << item.length
             << "}}}]";
        if (!item.keyword.empty() || item.pointed) {
            out_ << ", \"properties\": {\"pointer\": ";
            out_.json(item.pointer);
            if (!item.keyword.empty()) out_ << ", \"keyword\": ";
            if (!item.keyword.empty()) out_.json(item.keyword);
            out_ << '}';
        }
        out_ << '}';
        firstResult_ = false;
        out_.pass();
    }
    void more(std::uint64_t) override {}
    void fault(const Item& item) override { finding(item); }
    void failure(const std::string& reason) override {
        notifications_.push_back(
            "{\"level\": \"error\", \"message\": {\"text\": " + jsonText(reason) +
            "}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": " +
            artifactLocation_ + "}}]}");
    }
    void endInput() override {}
    void finish(int status) override {
        out_ << (firstResult_ ? "],\n" : "\n            ],\n") << "            \"artifacts\": [";
        for (std::size_t i = 0; i != artifacts_.size(); ++i) {
            out_ << (i == 0 ? "\n" : ",\n") << "                {\"location\": " << artifacts_[i]
                 << '}';
        }
        out_ << (artifacts_.empty() ? "],\n" : "\n            ],\n")
             << "            \"invocations\": [\n                {\"executionSuccessful\": "
             << (notifications_.empty() ? "true" : "false")
             << ", \"exitCode\": " << static_cast<std::uint64_t>(status)
             << ", \"toolExecutionNotifications\": [";
        for (std::size_t i = 0; i != notifications_.size(); ++i) {
            out_ << (i == 0 ? "\n" : ",\n") << "                    " << notifications_[i];
        }
        out_ << (notifications_.empty() ? "]}\n" : "\n                ]}\n")
             << "            ]\n        }\n    ]\n}\n";
        out_.flush();
    }

private:
    void rule(std::string_view id, std::string_view summary, kessa::Severity level) {
        out_ << (firstRule_ ? "\n" : ",\n") << "                        {\"id\": ";
        out_.json(id) << ", \"shortDescription\": {\"text\": ";
        out_.json(summary) << "}, \"defaultConfiguration\": {\"level\": \"" << kessa::name(level)
                           << "\"}}";
        firstRule_ = false;
    }

    /// The artifact location of `input`: its URI, or for standard input a description.
    static std::string location(const Input& input) {
        if (input.given == "-") return "{\"description\": {\"text\": \"standard input\"}}";
        return "{\"uri\": " + jsonText(uriOf(input.given)) + "}";
    }

    Output out_;
    bool firstRule_ = true, firstResult_ = true;
    std::vector<std::string> artifacts_;  // the location of each input, as JSON
    std::string artifactLocation_;        // the input being reported's, with its index
    std::vector<std::string> notifications_;
};

}  // namespace

std::optional<Format> formatOfName(std::string_view name) {
    static constexpr std::array<std::string_view, 4> kNames{"text", "json", "sarif", "github"};
    for (std::size_t i = 0; i != kNames.size(); ++i) {
        if (kNames[i] == name) return static_cast<Format>(i);
    }
    return std::nullopt;
}

Report::~Report() = default;

std::unique_ptr<Report> makeReport(Format format, const Tool& tool) {
    switch (format) {
        case Format::Json:
            return std::make_unique<JsonReport>(tool);
        case Format::Sarif:
            return std::make_unique<SarifReport>(tool);
        case Format::Github:
            return std::make_unique<GithubReport>();
        case Format::Text:
            break;
    }
    return std::make_unique<TextReport>();
}

}  // namespace report
