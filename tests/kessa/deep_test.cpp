#include <gtest/gtest.h>

#include "kessa/parser.h"
#include "pelmo/exception.h"
#include "pelmo/json/byte_writer.h"

// A million levels of nesting must parse, encode, compare and be destroyed without using the call
// stack once per level; run under the default stack, recursion would overflow it.
TEST(Deep, MillionLevels) {
    constexpr std::size_t kDepth = 1'000'000;
    const std::string text =
        "a=" + std::string(kDepth, '{') + "1" + std::string(kDepth, '}') + "\n";
    kessa::KessaParser parser;
    auto root = parser.parse(text);

    std::string compact;
    root->appendCompact(compact);
    // Every brace becomes an array of one element; the innermost holds the 1.
    const std::string expected =
        "{\"a\":" + std::string(kDepth, '[') + "1" + std::string(kDepth, ']') + "}";
    EXPECT_EQ(compact, expected);

    std::string bytes;
    pelmo::StringByteWriter writer(bytes);
    EXPECT_TRUE(root->appendBinary(writer));
    EXPECT_EQ(bytes,
              "\x06\x0a"
              "a" +
                  std::string(kDepth, '\x05') + "\x08" + std::string(kDepth, '\x07') + "\x07");

    auto twin = parser.parse(text);
    EXPECT_TRUE(root->isEqual(*twin));
    root.reset();
    twin.reset();

    // An unclosed document of the same depth is rejected, and its partial tree destroyed.
    EXPECT_THROW(parser.parse("a=" + std::string(kDepth, '{') + "1\n"), pelmo::Exception);
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <new>

// When memory runs out while a tree is built, the partial tree is destroyed while std::bad_alloc
// unwinds; that destruction must not need memory of its own, or the process is terminated.
// (AddressSanitizer reserves more address space than the limit leaves, so it sits this out.)
TEST(Deep, RunningOutOfMemoryRaises) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "ThreadSanitizer needs more address space than the limit leaves";
#endif
    std::string text;
    for (int i = 0; text.size() < (std::size_t{40} << 20); ++i) {
        text.append("k").append(std::to_string(i)).append("={x={1}}\n");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{rlim_t{384} << 20, rlim_t{384} << 20};
        ::setrlimit(RLIMIT_AS, &limit);
        try {
            kessa::KessaParser().parse(text);
        } catch (const std::bad_alloc&) {
            ::_exit(0);
        }
        ::_exit(1);  // the limit left room for the whole tree: the test proves nothing
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif
