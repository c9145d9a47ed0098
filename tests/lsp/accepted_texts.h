#pragma once

// Texts a reader accepts, for the properties of the server's tests: the readers' shared table,
// then random ones made of pieces that hit every rule.

#include <random>
#include <string>
#include <vector>

#include "kessa/kessa_cases.h"
#include "kessa/reader.h"

/// `count` texts: those of the readers' table, then random accepted ones from `seed`.
inline std::vector<std::string> acceptedTexts(std::size_t count, unsigned seed) {
    std::vector<std::string> texts;
    for (const auto& row : kAcceptedTexts) texts.emplace_back(row.input);
    const char* pieces[] = {"a=1\n", "b={", "}\n", "x", ",", "\"q,}\"", "=", "\n", "{", "}", " "};
    std::mt19937 random(seed);
    while (texts.size() < count) {
        std::string text;
        for (int i = random() % 12; i > 0; --i) text += pieces[random() % std::size(pieces)];
        text += "\n";
        try {
            kessa::checkKessa(text);
            texts.push_back(text);
        } catch (const kessa::SyntaxError&) {
        }
    }
    return texts;
}
