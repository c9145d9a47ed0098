// Windows hands a program its arguments as UTF-16 and, through the narrow entry point, in the
// active code page, which cannot hold every name. The wide entry point converts them to UTF-8
// once, so that any path reaches the driver.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tool/main.h"

// The MinGW runtime may expand wildcard patterns in the arguments; the driver takes them as typed.
extern "C" {
int _dowildcard = 0;
}

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

/// UTF-8 for a UTF-16 argument. An unpaired surrogate, which a Windows file name may hold but
/// UTF-8 cannot, keeps its three-byte form: the driver then refuses the path as ill-formed
/// instead of reading or writing some other file.
std::string toUtf8(const wchar_t* wide) {
    std::string out;
    for (; *wide != L'\0'; ++wide) {
        char32_t c = static_cast<char16_t>(*wide);
        if (c >= 0xD800 && c <= 0xDBFF && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(*++wide) - 0xDC00);
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Bytes pass as they are on every stream: no carriage returns added or dropped.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments;
    std::vector<char*> pointers;
    for (int i = 0; i < argc; ++i) arguments.push_back(toUtf8(argv[i]));
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return runProgram(argc, pointers.data());
}
