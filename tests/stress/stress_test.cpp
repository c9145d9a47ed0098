// Volume checks, kept apart from the other tests under the label "stress": nesting ten million
// levels deep on a 1 MiB stack, one 200 MB value, and ten million members in one object. Large
// inputs and expected outputs are generated a piece at a time and outputs compared as they are
// read, so no check holds a second copy of a large text.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "kessa/parser.h"
#include "pelmo/json/byte_writer.h"
#include "run_tool.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr rlim_t kSmallStack = 1 << 20;
constexpr std::size_t kDepth = 10'000'000;

/// A text made a piece at a time: each call appends the next piece to its argument, and returns
/// false once there is none left.
using Pieces = std::function<bool(std::string&)>;

/// `head`, then item(0) to item(count - 1), then `tail`, in pieces of about a mebibyte.
Pieces sequence(std::string head, std::size_t count,
                std::function<void(std::size_t, std::string&)> item, std::string tail) {
    std::size_t next = 0;
    bool started = false, finished = false;
    return [=](std::string& piece) mutable {
        if (finished) return false;
        if (!started) piece += head;
        started = true;
        while (next < count && piece.size() < (1 << 20)) item(next++, piece);
        if (next == count) {
            piece += tail;
            finished = true;
        }
        return true;
    };
}

void writeFile(const fs::path& file, Pieces pieces) {
    std::ofstream stream(file, std::ios::binary);
    for (std::string piece; pieces(piece); piece.clear()) stream << piece;
    ASSERT_TRUE(stream.flush()) << file;
}

/// Where `file` first differs from the text of `pieces`, or "" when it holds exactly that text.
std::string firstDifference(const fs::path& file, Pieces pieces) {
    std::ifstream stream(file, std::ios::binary);
    std::size_t offset = 0;
    std::string read;
    for (std::string piece; pieces(piece); piece.clear()) {
        read.resize(piece.size());
        stream.read(read.data(), static_cast<std::streamsize>(read.size()));
        read.resize(static_cast<std::size_t>(stream.gcount()));
        if (read != piece) {
            std::size_t at = 0;
            while (at < read.size() && read[at] == piece[at]) ++at;
            return "differs at byte " + std::to_string(offset + at);
        }
        offset += piece.size();
    }
    return stream.peek() == EOF ? "" : "goes on after byte " + std::to_string(offset);
}

/// Runs `check` in a child process whose stack may grow to 1 MiB only, as under `ulimit -s 1024`,
/// and returns its exit status (128 plus the signal if one ended it). The check reports its own
/// failures on standard error and returns false for them.
int onSmallStack(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{kSmallStack, kSmallStack};
        ::setrlimit(RLIMIT_STACK, &limit);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool expect(bool holds, const char* what) {
    if (!holds) std::fprintf(stderr, "failed: %s\n", what);
    return holds;
}

std::string compactText(const pelmo::JsonNode& node) {
    std::string out;
    node.appendCompact(out);
    return out;
}

class Stress : public testing::Test {
protected:
    Outcome run(std::vector<std::string> args, rlim_t stackBytes = 0) {
        return runToolWith(scratch.path, scratch.path, std::move(args), {.stackBytes = stackBytes});
    }

    ScratchDir scratch{"kessa2json-stress"};
};

}  // namespace

TEST_F(Stress, DeepUnclosedRejectedOnSmallStack) {
    scratch.write("unclosed.kessa", "a=" + std::string(kDepth, '{'));
    const Outcome outcome = run({"unclosed.kessa", "unclosed.json"}, kSmallStack);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "kessa2json: unclosed.kessa:1:" + std::to_string(kDepth + 2) +
                               ": this left brace is never closed (byte offset " +
                               std::to_string(kDepth + 1) + ")\n");
    EXPECT_FALSE(fs::exists(scratch.path / "unclosed.json"));
}

// The indented text of this tree would take some 4 x 10^14 bytes, so the check stays inside the
// library: parse, compact and binary text, equality both ways, and destruction.
TEST_F(Stress, DeepTreeOnSmallStack) {
    const int status = onSmallStack([] {
        auto root = kessa::KessaParser().parse("a=" + std::string(kDepth, '{') + "1" +
                                               std::string(kDepth, '}') + "\n");
        const std::string compact =
            "{\"a\":" + std::string(kDepth, '[') + "1" + std::string(kDepth, ']') + "}";
        bool ok = expect(compactText(*root) == compact, "compact text");
        const std::string expectedBinary = "\x06\x0a" + std::string("a") +
                                           std::string(kDepth, '\x05') + "\x08" +
                                           std::string(kDepth, '\x07') + "\x07";
        std::string binary;
        pelmo::StringByteWriter writer(binary);
        ok &= expect(root->appendBinary(writer) && binary == expectedBinary, "binary encoding");
        // One tree only, to bound memory: the outer array against itself and against its own
        // element, which is one level shallower.
        const pelmo::JsonNode& outer = *root->members[0].second;
        const pelmo::JsonNode& inner = *static_cast<const pelmo::JsonArray&>(outer).elements[0];
        ok &= expect(root->isEqual(*root) && outer.isEqual(outer), "equal to itself");
        ok &= expect(!outer.isEqual(inner) && !inner.isEqual(outer), "unequal to its element");
        root.reset();
        return ok;
    });
    EXPECT_EQ(status, 0) << "see the messages above";
}

// 200,000,000 bytes between double quotes, every byte value but the quote itself in turn: tabs
// are dropped, five bytes escaped, the rest copied.
TEST_F(Stress, LongQuotedValue) {
    constexpr std::size_t kLength = 200'000'000;
    std::string cycle;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != '"') cycle += static_cast<char>(byte);
    }
    const auto raw = [&cycle](std::size_t i, std::string& out) { out += cycle[i % cycle.size()]; };
    const auto escaped = [&cycle](std::size_t i, std::string& out) {
        switch (const char c = cycle[i % cycle.size()]) {
            case '\t':
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    };
    writeFile(scratch.path / "long.kessa", sequence("v=\"", kLength, raw, "\""));
    const Outcome outcome = run({"long.kessa", "long.json"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(firstDifference(scratch.path / "long.json",
                              sequence("{\n    \"v\": \"", kLength, escaped, "\"\n}")),
              "");
}

TEST_F(Stress, TenMillionMembers) {
    constexpr std::size_t kMembers = 10'000'000;
    const auto member = [](std::size_t i, std::string& out) {
        out += 'k' + std::to_string(i) + '=' + std::to_string(i) + '\n';
    };
    const auto line = [](std::size_t i, std::string& out) {
        out += "    \"k" + std::to_string(i) + "\": " + std::to_string(i) +
               (i + 1 < kMembers ? ",\n" : "\n");
    };
    writeFile(scratch.path / "many.kessa", sequence("", kMembers, member, ""));
    const Outcome outcome = run({"many.kessa", "many.json"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(firstDifference(scratch.path / "many.json", sequence("{\n", kMembers, line, "}")),
              "");
}
