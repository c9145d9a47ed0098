// References resolved against a base as RFC 3986 resolves them (its section 5.4), and JSON
// pointers read from fragments.

#include <gtest/gtest.h>

#include "schema/uri.h"

namespace {

TEST(Uri, ResolvedAsTheRfcSays) {
    const char* const base = "http://a/b/c/d;p?q";
    const struct {
        const char *reference, *resolved;
    } rows[] = {
        {"g", "http://a/b/c/g"},      {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},    {"/g", "http://a/g"},
        {"//g", "http://g"},          {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},  {"#s", "http://a/b/c/d;p?q#s"},
        {"", "http://a/b/c/d;p?q"},   {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},     {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"}, {"g;x=1/../y", "http://a/b/c/y"},
        {"urn:x:y", "urn:x:y"},       {"HTTP://B/./c", "HTTP://B/c"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(schema::resolveUri(base, row.reference), row.resolved) << row.reference;
    }
    EXPECT_EQ(schema::resolveUri("urn:uuid:x", "#/a"), "urn:uuid:x#/a");
    EXPECT_EQ(schema::resolveUri("file:///s/a.json", "b/c.json"), "file:///s/b/c.json");
}

TEST(Uri, PointersOfFragments) {
    const auto [uri, fragment] = schema::splitFragment("http://x/y.json#/a~1b/%25c/~0");
    EXPECT_EQ(uri, "http://x/y.json");
    EXPECT_EQ(schema::pointerSteps(fragment), (std::vector<std::string>{"a/b", "%c", "~"}));
    EXPECT_EQ(schema::pointerSteps(""), std::vector<std::string>{});
    EXPECT_FALSE(schema::pointerSteps("a"));
    EXPECT_FALSE(schema::pointerSteps("/~2"));
}

}  // namespace
