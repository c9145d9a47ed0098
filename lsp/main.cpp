// kessa-language-server: the findings, an outline, hovers, quick fixes and the JSON of kessa
// documents, for editors, over standard input and output.

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "lsp/server.h"

namespace {

constexpr const char* kUsage =
    "usage: kessa-language-server [--stdio]\n"
    "       kessa-language-server --help | -h | --version\n"
    "\n"
    "Speaks the Language Server Protocol over standard input and output for kessa documents:\n"
    "the findings of kessa2json --check as diagnostics, an outline, hovers that tell what each\n"
    "value becomes, quick fixes, and the command kessa.convert, which returns a document's JSON.\n"
    "An editor starts it; see man kessa-language-server. Exit status: 0 after a shutdown\n"
    "request and the exit notification, 1 otherwise.\n";

/// A descriptor read as it delivers: whatever a pipe holds, not a full buffer.
class DescriptorSource final : public lsp::ByteSource {
public:
    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
#ifdef _WIN32
            const int got = ::_read(0, buffer, static_cast<unsigned>(size));
#else
            const ssize_t got = ::read(0, buffer, size);
#endif
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return 0;  // unreadable: the same as the end
        }
    }
};

class DescriptorSink final : public lsp::ByteSink {
public:
    void write(std::string_view bytes) override {
        while (!bytes.empty()) {
#ifdef _WIN32
            const int put = ::_write(1, bytes.data(), static_cast<unsigned>(bytes.size()));
#else
            const ssize_t put = ::write(1, bytes.data(), bytes.size());
#endif
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0)
                throw std::system_error(errno, std::generic_category(), "standard output");
            bytes.remove_prefix(static_cast<std::size_t>(put));
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (argument == "--version") {
            std::cout << "kessa-language-server " KESSA2JSON_VERSION "\n";
            return 0;
        }
        if (argument != "--stdio") {
            std::cerr << "kessa-language-server: unknown argument '" << argument << "'\n" << kUsage;
            return 1;
        }
    }
#ifdef _WIN32
    // The framing counts bytes: no carriage returns added or dropped.
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
#else
    // A client that goes away makes writes fail instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    DescriptorSource input;
    DescriptorSink output;
    try {
        return lsp::Server(input, output, &std::cerr).run();
    } catch (const std::exception& error) {
        std::cerr << "kessa-language-server: " << error.what() << "\n";
        return 1;
    }
}
