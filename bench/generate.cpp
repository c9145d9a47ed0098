// Writes a seeded benchmark workload:
//
//   generate realistic|findings|flat SEED MEGABYTES OUT_PREFIX
//
// writes OUT_PREFIX.kessa, OUT_PREFIX.json (compact) and OUT_PREFIX.expected.json (the indented
// text kessa2json must produce). "realistic" holds records of nested objects (5 to 15 members, 2
// to 6 levels), arrays of numbers and short strings, integers and floats with up to three
// decimals, until the kessa text reaches MEGABYTES; "findings" is the same with a finding of
// --check (an integer with a leading zero) on about every tenth line; "flat" holds 1,000,000
// key=integer lines whatever MEGABYTES says.

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "workload.h"

namespace {

void save(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush()) {
        std::fprintf(stderr, "generate: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: generate realistic|findings|flat SEED MEGABYTES OUT_PREFIX\n", stderr);
        return 1;
    }
    const std::string kind = argv[1];
    bench::Generator generator(std::strtoull(argv[2], nullptr, 10));
    if (kind == "realistic" || kind == "findings") {
        if (kind == "findings") generator.findingEvery = 10;
        generator.realistic(std::strtoull(argv[3], nullptr, 10) * 1'000'000);
    } else if (kind == "flat") {
        generator.flat();
    } else {
        std::fprintf(stderr, "generate: unknown workload %s\n", kind.c_str());
        return 1;
    }
    const std::string prefix = argv[4];
    save(prefix + ".kessa", generator.out.kessa);
    save(prefix + ".json", generator.out.compact);
    save(prefix + ".expected.json", generator.out.indented);
    return 0;
}
