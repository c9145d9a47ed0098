#pragma once

// The forms of --check's report on standard output: lines for a person and for problem matchers,
// one JSON document, one SARIF log, or GitHub Actions workflow commands.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kessa/finding_kinds.h"
#include "kessa/text_position.h"

namespace report {

enum class Format : std::uint8_t { Text, Json, Sarif, Github };

/// The format named `name` ("text", "json", "sarif" or "github"), if there is one.
std::optional<Format> formatOfName(std::string_view name);

/// The code of the fault of a malformed input, beside the codes of the findings.
constexpr std::string_view kMalformed = kessa::kMalformedCode;

/// One thing reported about an input, with where its bytes lie: a finding, or the fault of a
/// malformed input (code kMalformed, severity error).
struct Item {
    std::string_view code;
    kessa::Severity severity;
    std::string message;
    kessa::TextPosition start;
    kessa::TextPosition end;  // of the character just past the bytes
    std::uint64_t offset;
    std::uint64_t length;
    /// A schema's finding: the JSON pointer of the value, and the keyword that refuses it.
    std::string_view pointer = {};
    std::string_view keyword = {};
    /// The pointer is given though no keyword is: a value of a JSON document that json2kessa
    /// cannot write.
    bool pointed = false;
};

/// The program a report is of: its name, and what its malformed input is.
struct Tool {
    std::string_view name = "kessa2json";
    std::string_view malformed =
        "The text is malformed: unbalanced braces, a key with no value, or a last value with no "
        "line break after it.";
};

/// An input the report speaks of.
struct Input {
    /// As the lines of the tool show it: "<stdin>", or the path with unprintable bytes as \xNN.
    std::string name;
    /// As it was given: a path, or "-" for standard input.
    std::string_view given;
};

/// How many findings of an input the capped formats list before they only count.
constexpr std::size_t kListedFindings = 1000;

/// A report, written to standard output as it goes, through a buffer. Each call raises
/// driver::Failure when standard output cannot be written.
class Report {
public:
    virtual ~Report();

    /// Whether the format lists only the first kListedFindings findings of each input, then a
    /// count of the rest; otherwise it takes every finding, as it comes.
    virtual bool capped() const = 0;

    virtual void beginInput(const Input& input) = 0;
    virtual void finding(const Item& item) = 0;
    /// The findings past the first kListedFindings, which a capped format only counts.
    virtual void more(std::uint64_t count) = 0;
    /// The fault of a malformed input; its line on standard error is the caller's.
    virtual void fault(const Item& item) = 0;
    /// An input that could not be read, or changed while it was checked: the reason, as the line
    /// on standard error gives it after "kessa2json: ".
    virtual void failure(const std::string& reason) = 0;
    virtual void endInput() = 0;
    /// Ends the report, after the last input, with the run's exit status.
    virtual void finish(int status) = 0;
};

std::unique_ptr<Report> makeReport(Format format, const Tool& tool = {});

}  // namespace report
