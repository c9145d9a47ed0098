#include <gtest/gtest.h>

#include "kessa/parser.h"
#include "kessa_cases.h"
#include "pelmo/exception.h"

namespace {

std::string parseToCompact(std::string_view text) {
    std::string out;
    kessa::KessaParser().parse(text)->appendCompact(out);
    return out;
}

}  // namespace

TEST(Parser, Accepted) {
    for (const auto& row : kAcceptedTexts) {
        EXPECT_EQ(parseToCompact(row.input), row.json) << "input: " << row.input;
    }
}

TEST(Parser, Rejected) {
    for (const std::string_view input : kRejectedTexts) {
        try {
            kessa::KessaParser().parse(input);
            ADD_FAILURE() << "accepted: " << input;
        } catch (const pelmo::Exception& e) {
            EXPECT_STREQ(e.what(), kessa::KessaParser::kMalformedMessage) << input;
        }
    }
}

TEST(Parser, UsableAgainAfterRejection) {
    kessa::KessaParser parser;
    EXPECT_THROW(parser.parse("a={x=\"1"), pelmo::Exception);
    std::string out;
    parser.parse("b=2\n")->appendCompact(out);
    EXPECT_EQ(out, R"({"b":2})");
}
