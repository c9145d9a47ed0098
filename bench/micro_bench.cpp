// Micro-benchmarks of the conversion's stages, on a 10 MB realistic workload held in memory.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "kessa/conversion.h"
#include "kessa/format.h"
#include "kessa/line_edits.h"
#include "kessa/parser.h"
#include "kessa/reader.h"
#include "kessa/scalar.h"
#include "pelmo/file/file_io.h"
#include "pelmo/json/number_format.h"
#include "workload.h"

namespace {

const bench::Texts& workload() {
    static const bench::Texts texts = [] {
        bench::Generator generator(42);
        generator.realistic(10'000'000);
        return generator.out;
    }();
    return texts;
}

const pelmo::JsonObject& tree() {
    static const auto root = kessa::KessaParser().parse(workload().kessa);
    return *root;
}

void setBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void parse(benchmark::State& state) {
    const std::string& text = workload().kessa;
    kessa::KessaParser parser;
    for (auto _ : state) benchmark::DoNotOptimize(parser.parse(text));
    setBytes(state, text.size());
}
BENCHMARK(parse)->Unit(benchmark::kMillisecond);

// The tool's first pass: the acceptance rules alone.
void check(benchmark::State& state) {
    const std::string& text = workload().kessa;
    for (auto _ : state) kessa::checkKessa(text);
    setBytes(state, text.size());
}
BENCHMARK(check)->Unit(benchmark::kMillisecond);

/// Counts the text and keeps none of it.
class NullSink final : public pelmo::TextSink {
public:
    void write(const char*, std::size_t size) override { bytes += size; }
    std::size_t bytes = 0;
};

// The tool's second pass: reading, typing and writing the indented text, minus the file.
void convert(benchmark::State& state) {
    const std::string& text = workload().kessa;
    for (auto _ : state) {
        NullSink sink;
        kessa::writeIndentedJson(text, sink);
        benchmark::DoNotOptimize(sink.bytes);
    }
    setBytes(state, text.size());
}
BENCHMARK(convert)->Unit(benchmark::kMillisecond);

// kessafmt's second pass: the text laid out again, minus the file.
void format(benchmark::State& state) {
    const std::string& text = workload().kessa;
    for (auto _ : state) {
        NullSink sink;
        kessa::formatKessa(text, sink);
        benchmark::DoNotOptimize(sink.bytes);
    }
    setBytes(state, text.size());
}
BENCHMARK(format)->Unit(benchmark::kMillisecond);

// The editor's formatting with another indentation: the lines of 1 MB of the laid-out workload
// matched against the same re-indented, nearly every line changed.
void lineEdits(benchmark::State& state) {
    const std::string& text = workload().kessa;
    std::size_t end = text.find("\nrecord_", 1'000'000);
    const std::string before = kessa::formatKessa(text.substr(0, end + 1));
    kessa::Layout twoSpaces;
    twoSpaces.indent = 2;
    const std::string after = kessa::formatKessa(before, twoSpaces);
    for (auto _ : state) benchmark::DoNotOptimize(kessa::lineEdits(before, after));
    setBytes(state, before.size());
}
BENCHMARK(lineEdits)->Unit(benchmark::kMillisecond);

void typeScalar(benchmark::State& state) {
    const char* const tokens[] = {"12345", "-987654", "3.125", "1e5", "word", "0x1p3", "12abc"};
    for (auto _ : state) {
        for (const char* token : tokens) benchmark::DoNotOptimize(kessa::typeScalar(token));
    }
    state.SetItemsProcessed(state.iterations() * 7);
}
BENCHMARK(typeScalar);

void makeScalar(benchmark::State& state) {
    const char* const tokens[] = {"12345", "-987654", "3.125", "1e5", "word", "0x1p3", "12abc"};
    for (auto _ : state) {
        for (const char* text : tokens) {
            std::string token = text;
            benchmark::DoNotOptimize(kessa::makeScalar(token));
        }
    }
    state.SetItemsProcessed(state.iterations() * 7);
}
BENCHMARK(makeScalar);

void formatNumbers(benchmark::State& state) {
    const double floats[] = {0.5, 123.456, -7.25, 1e20, 4503599627370495.5, 1e-7};
    const std::int64_t integers[] = {0, 42, -1000000, INT64_MIN};
    for (auto _ : state) {
        for (double value : floats) benchmark::DoNotOptimize(pelmo::formatFloat(value));
        for (std::int64_t value : integers) benchmark::DoNotOptimize(pelmo::formatInteger(value));
    }
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(formatNumbers);

void appendCompact(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        tree().appendCompact(out);
        bytes = out.size();
        benchmark::DoNotOptimize(out);
    }
    setBytes(state, bytes);
}
BENCHMARK(appendCompact)->Unit(benchmark::kMillisecond);

void toIndentedString(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string out = tree().toIndentedString();
        bytes = out.size();
        benchmark::DoNotOptimize(out);
    }
    setBytes(state, bytes);
}
BENCHMARK(toIndentedString)->Unit(benchmark::kMillisecond);

void readFileToString(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "kessa2json-bench-read.kessa";
    std::ofstream(path, std::ios::binary) << workload().kessa;
    for (auto _ : state) benchmark::DoNotOptimize(pelmo::readFileToString(path.c_str()));
    setBytes(state, workload().kessa.size());
    std::filesystem::remove(path);
}
BENCHMARK(readFileToString)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
