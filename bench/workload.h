#pragma once

// A seeded benchmark workload, written three ways at once: as kessa text, as the equivalent
// compact JSON (input for other JSON tools) and as the indented JSON kessa2json must produce.
// The JSON texts are written here, independently of the library, so that they can check it.

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

namespace bench {

/// The three texts of one workload, written side by side.
struct Texts {
    std::string kessa, compact, indented;
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : random(seed) {}

    void realistic(std::size_t bytes) {
        begin();
        for (std::size_t record = 0; out.kessa.size() < bytes; ++record) {
            member(std::string("record_").append(std::to_string(record)), 1);
            out.kessa += '{';
            object(1, 2 + pick(5));
            out.kessa += "}\n";
        }
        end();
    }

    void flat() {
        begin();
        for (int line = 0; line < 1'000'000; ++line) {
            member(std::string("key").append(std::to_string(line)), 1);
            const std::string number = integer();
            out.kessa.append(number).append("\n");
            out.compact += number;
            out.indented += number;
        }
        end();
    }

    /// Where not 0, about every so many lines of the kessa text hold a numeral with a leading
    /// zero, which the conversion drops and --check reports.
    std::size_t findingEvery = 0;

    Texts out;

private:
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random() % n); }

    void begin() {
        out.compact += '{';
        out.indented += '{';
        first = true;
    }
    void end() {
        out.compact += '}';
        out.indented += "\n}";
    }

    /// Starts a member of the JSON texts and its key in the kessa text.
    void member(const std::string& key, std::size_t level) {
        separate(level);
        out.kessa.append(key).append("=");
        out.compact.append("\"").append(key).append("\":");
        out.indented.append("\"").append(key).append("\": ");
    }
    /// Writes the comma and line break before a member or element of the JSON texts.
    void separate(std::size_t level) {
        if (!first) out.compact += ',';
        out.indented += first ? "\n" : ",\n";
        out.indented.append(4 * level, ' ');
        first = false;
    }

    /// Writes the line break, indentation and bracket that close a container at `level`.
    void close(std::size_t level, char bracket) {
        out.indented += '\n';
        out.indented.append(4 * level, ' ');
        out.indented += bracket;
    }

    /// A key unique within its object (JSON tools keep only one of repeated keys), such as
    /// "speed_3" for the fourth member.
    std::string key(std::size_t index) {
        static const char* const words[] = {"id",    "name",  "speed", "armor", "level", "cost",
                                            "range", "owner", "x",     "y",     "tags",  "flags"};
        return std::string(words[pick(12)]).append("_").append(std::to_string(index));
    }
    std::string integer() {
        return std::to_string(static_cast<long long>(pick(2'000'001)) - 1'000'000);
    }
    /// A float with one to three decimals, never integral, so every tool writes it the same.
    std::string decimal() {
        const int decimals = 1 + static_cast<int>(pick(3));
        std::string fraction = std::to_string(pick(1000) + 1000).substr(1, decimals);
        if (fraction.find_first_not_of('0') == std::string::npos) fraction.back() = '5';
        while (fraction.back() == '0') fraction.pop_back();
        return std::string(pick(4) == 0 ? "-" : "")
            .append(std::to_string(pick(10000)))
            .append(".")
            .append(fraction);
    }
    std::string word() {
        static const char* const words[] = {"red",  "green", "iron", "oak",   "north", "swift",
                                            "calm", "stone", "gold", "ember", "frost", "dune"};
        return words[pick(12)];
    }

    /// Writes one scalar: integer, float or string (sometimes quoted, with a space in it).
    void scalar() {
        std::string kessa, json;
        switch (pick(3)) {
            case 0:
                kessa = json = integer();
                break;
            case 1:
                kessa = json = decimal();
                break;
            default:
                if (pick(3) == 0) {
                    kessa = json =
                        std::string("\"").append(word()).append(" ").append(word()).append("\"");
                } else {
                    kessa = word();
                    json = std::string("\"").append(kessa).append("\"");
                }
        }
        out.kessa += kessa;
        out.compact += json;
        out.indented += json;
    }

    /// Whether a finding is due: findingEvery lines of kessa text have passed since the last.
    bool findingDue() {
        if (findingEvery == 0) return false;
        lines += static_cast<std::size_t>(
            std::count(out.kessa.begin() + counted, out.kessa.end(), '\n'));
        counted = out.kessa.size();
        if (lines < nextFinding) return false;
        nextFinding = lines + findingEvery;
        return true;
    }
    /// An integer written with a leading zero, which the JSON drops.
    void zeroLed() {
        const std::string number = std::to_string(pick(1'000'000));
        out.kessa.append("0").append(number);
        out.compact += number;
        out.indented += number;
    }

    /// Writes the body of an array of 3 to 10 scalars opened at `level`, and its closing.
    void array(std::size_t level) {
        out.compact += '[';
        out.indented += '[';
        first = true;
        const std::size_t count = 3 + pick(8);
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0) out.kessa += ',';
            separate(level + 1);
            scalar();
        }
        out.kessa += '}';
        out.compact += ']';
        close(level, ']');
        first = false;
    }

    /// Writes the members of an object opened at `level`, nesting `depth` more levels below it.
    void object(std::size_t level, std::size_t depth) {
        out.compact += '{';
        out.indented += '{';
        first = true;
        const std::size_t count = 5 + pick(11);
        for (std::size_t i = 0; i < count; ++i) {
            member(key(i), level + 1);
            const std::size_t kind = pick(10);
            if (kind < 1 && depth > 1) {
                out.kessa += "{\n";
                object(level + 1, depth - 1);
                out.kessa += "}\n";
            } else if (kind < 3) {
                out.kessa += '{';
                array(level + 1);
                out.kessa += '\n';
            } else {
                if (findingDue()) {
                    zeroLed();
                } else {
                    scalar();
                }
                out.kessa += '\n';
            }
        }
        out.compact += '}';
        close(level, '}');
        first = false;
    }

    std::mt19937_64 random;
    bool first = true;
    std::size_t lines = 0, counted = 0, nextFinding = 0;  // of the kessa text, for findingEvery
};

}  // namespace bench
