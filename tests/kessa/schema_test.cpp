#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../scratch_dir.h"
#include "kessa/parser.h"
#include "kessa/schema.h"
#include "kessa/schema_impl.h"
#include "schema/evaluate.h"

namespace {

/// One schema finding as a line: "LINE:COLUMN CODE KEYWORD POINTER: MESSAGE".
std::vector<std::string> findingsOf(std::string_view text, const kessa::Schema& schema) {
    struct Log final : kessa::FindingHandler {
        std::string_view text;
        std::vector<std::string> lines;
        void found(const kessa::Finding& finding) override {
            EXPECT_EQ(finding.bytes.data(), text.data() + finding.offset);
            const kessa::TextPosition at = kessa::positionAt(text, finding.offset);
            lines.push_back(std::to_string(at.line) + ":" + std::to_string(at.column) + " " +
                            std::string(finding.code()) + " " + std::string(finding.keyword) + " " +
                            std::string(finding.pointer) + ": " + kessa::describe(finding));
        }
    } log;
    log.text = text;
    kessa::checkSchemaFindings(text, schema, log);
    return log.lines;
}

const char* const kService = R"({
    "type": "object",
    "required": ["name", "port"],
    "additionalProperties": false,
    "properties": {
        "name": {"type": "string", "minLength": 2, "maxLength": 8, "pattern": "^[a-z]+$"},
        "port": {"type": "integer", "minimum": 1, "maximum": 65535},
        "ratio": {"type": "number", "exclusiveMaximum": 1, "multipleOf": 0.25},
        "mode": {"enum": ["fast", "safe"]},
        "level": {"const": 3},
        "version": {"type": "string"},
        "debug": {"type": "boolean"},
        "tags": {"type": "array", "items": {"type": "string"}, "minItems": 1, "maxItems": 2,
                 "uniqueItems": true},
        "pair": {"type": "array", "items": [{"type": "integer"}], "additionalItems": false},
        "some": {"type": "array", "contains": {"type": "integer"}},
        "limits": {"type": "object", "required": ["cpu"], "maxProperties": 1,
                   "propertyNames": {"maxLength": 3}},
        "one": {"oneOf": [{"type": "integer"}, {"minimum": 0}]},
        "any": {"anyOf": [{"type": "integer"}, {"type": "array"}]},
        "list": {"anyOf": [{"type": "object"}, {"type": "array", "minItems": 1}]},
        "never": false
    }
})";

// Each kind of fault: its code, keyword, pointer, place and words; the place of a wrong value is
// the value, of a member the schema does not allow its key, of a missing member its object's key
// or the text's first line.
TEST(Schema, FaultsTheirPlacesAndWords) {
    const kessa::Schema schema = kessa::Schema::parse(kService, "service.json");
    const std::string base = "name=web\nport=80\n";
    const struct {
        std::string text;
        std::vector<std::string> findings;
    } rows[] = {
        {base, {}},
        {"port=80\n",
         {"1:1 schema-required required : the text has no member \"name\", which the schema "
          "requires"}},
        {base + "prot=1\n",
         {"3:1 schema-additional additionalProperties /prot: the schema allows no member \"prot\" "
          "here; did you mean \"port\"?"}},
        {"name=web\nport=0\n", {"2:6 schema-range minimum /port: \"0\" is below the minimum, 1"}},
        {"name=web\nport=70000\n",
         {"2:6 schema-range maximum /port: \"70000\" is above the maximum, 65535"}},
        {base + "ratio=1.0\n",
         {"3:7 schema-range exclusiveMaximum /ratio: \"1.0\" is not below 1, which the schema "
          "excludes"}},
        {base + "ratio=0.3\n",
         {"3:7 schema-range multipleOf /ratio: \"0.3\" is not a multiple of 0.25"}},
        {base + "ratio=0.30\n",
         {"3:7 schema-range multipleOf /ratio: \"0.30\", which becomes 0.3, is not a multiple of "
          "0.25"}},
        {"name=w\nport=80\n",
         {"1:6 schema-length minLength /name: \"w\" is 1 characters long, fewer than the 2 the "
          "schema allows"}},
        {"name=websites\n port=80\nname=websitesx\n",
         {"3:6 schema-length maxLength /name: \"websitesx\" is 9 characters long, more than the 8 "
          "the schema allows"}},
        {"name=Web\nport=80\n",
         {"1:6 schema-pattern pattern /name: \"Web\" does not match the pattern \"^[a-z]+$\""}},
        {base + "mode=fsat\n",
         {"3:6 schema-enum enum /mode: \"fsat\" is none of the values the schema allows: fast or "
          "safe"}},
        {base + "level=4\n",
         {"3:7 schema-enum const /level: \"4\", which becomes 4, is not the one value the schema "
          "allows: 3"}},
        {base + "tags={}\n",
         {"3:6 schema-size minItems /tags: the array has 0 elements, fewer than the 1 the schema "
          "allows"}},
        {base + "tags={a,b,c}\n",
         {"3:1 schema-size maxItems /tags: the array has 3 elements, more than the 2 the schema "
          "allows"}},
        {base + "tags={a,a}\n",
         {"3:1 schema-unique uniqueItems /tags: the array holds equal elements (indexes #0 and "
          "#1), where the schema wants each element once"}},
        {base + "pair={1,2}\n",
         {"3:9 schema-additional additionalItems /pair/1: the schema allows 1 elements here, and "
          "this is element 2"}},
        {base + "some={a,b}\n",
         {"3:1 schema-contains contains /some: the array has no element that fits what the "
          "schema's contains asks for"}},
        {base + "limits={cpu=1,mem=2}\n",
         {"3:1 schema-size maxProperties /limits: the object has 2 members, more than the 1 the "
          "schema allows"}},
        {base + "limits={mem=2}\n",
         {"3:1 schema-required required /limits: the object \"limits\" has no member \"cpu\", "
          "which the schema requires"}},
        {base + "limits={cpu=1}\nlimits={cpus=1}\n",
         {"4:1 schema-required required /limits: the object \"limits\" has no member \"cpu\", "
          "which the schema requires",
          "4:9 schema-property-name propertyNames /limits/cpus: the key \"cpus\" is one the "
          "schema's propertyNames refuses"}},
        {base + "one=5\n",
         {"3:5 schema-combination oneOf /one: \"5\" fits more than one of the schemas oneOf "
          "allows, and must fit exactly one"}},
        {base + "any=x\n",
         {"3:5 schema-combination anyOf /any: \"x\" fits none of the schemas anyOf allows; the "
          "closest, the first schema, fails: \"x\" stays text, where the schema wants an integer; "
          "a number is a numeral that begins with a digit or a sign, such as 42 or -1.5"}},
        // Braces with nothing inside: the closest branch is the array's, not told to be {=}.
        {base + "list={}\n",
         {"3:6 schema-combination anyOf /list: the array fits none of the schemas anyOf allows; "
          "the closest, the second schema, fails: the array has 0 elements, fewer than the 1 the "
          "schema allows"}},
        {base + "never=1\n",
         {"3:7 schema-false properties /never: the schema allows no value here"}},
        // Nesting is followed to any depth.
        {base + "some=" + std::string(198, '{') + std::string(198, '}') + "\n",
         {"3:1 schema-contains contains /some: the array has no element that fits what the "
          "schema's contains asks for"}},
        {base + "some=" + std::string(200000, '{') + std::string(200000, '}') + "\n",
         {"3:1 schema-contains contains /some: the array has no element that fits what the "
          "schema's contains asks for"}},
        // A repeated key counts once, with its last value, as JSON readers keep it.
        {"name=web\nport=0\nport=80\n", {}},
        {"name=web\nport=80\nport=0\n",
         {"3:6 schema-range minimum /port: \"0\" is below the minimum, 1"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(findingsOf(row.text, schema), row.findings) << row.text;
    }
}

// Where the notation decides the type, the words say what the text was, what it became, why,
// and whether any text gives what the schema wants.
TEST(Schema, TypeTrapsSayWhy) {
    const kessa::Schema schema = kessa::Schema::parse(kService, "service.json");
    const std::string base = "name=web\nport=80\n";
    const struct {
        std::string line;
        std::string words;
    } rows[] = {
        {"version=1.10",
         "\"1.10\" is read as a number, quoted or not: it becomes 1.1, where the schema wants a "
         "string; no kessa text keeps a numeral as text (there are no escapes), so the schema and "
         "the notation disagree here"},
        {"version=\"007\"",
         "\"007\" is read as a number, quoted or not: it becomes 7, where the schema wants a "
         "string; no kessa text keeps a numeral as text (there are no escapes), so the schema and "
         "the notation disagree here"},
        {"version=1e3",
         "\"1e3\" is read as a number, quoted or not: it becomes 1000.0, where the schema wants a "
         "string; no kessa text keeps a numeral as text (there are no escapes), so the schema and "
         "the notation disagree here"},
        {"ratio=.5", "\".5\" stays text, where the schema wants a number; write 0.5"},
        {"ratio=\"0,5\"", "\"0,5\" stays text, where the schema wants a number; write 0.5"},
        {"ratio=\" 0.5 \"", "\" 0.5 \" stays text, where the schema wants a number; write 0.5"},
        {"ratio=half",
         "\"half\" stays text, where the schema wants a number; a number is a numeral that "
         "begins with a digit or a sign, such as 42 or -1.5"},
        {"port=80.5",
         "\"80.5\" is read as a number, quoted or not: it becomes 80.5, where the "
         "schema wants an integer"},
        {"limits={}",
         "the braces \"{}\" make an empty array, where the schema wants an object; write {=} for "
         "an empty object"},
        {"limits={cpu,1}",
         "this is an array, where the schema wants an object: a brace makes an object only where "
         "an equals sign comes before any comma"},
        {"tags=red",
         "\"red\" stays text, where the schema wants an array; write {red} for an "
         "array of it"},
        {"debug=true",
         "\"true\" is a string, where the schema wants a boolean, which no kessa text can give: "
         "the notation has no true, false or null"},
    };
    for (const auto& row : rows) {
        const std::vector<std::string> findings = findingsOf(base + row.line + "\n", schema);
        ASSERT_EQ(findings.size(), 1u) << row.line;
        EXPECT_EQ(findings[0].substr(findings[0].find(": ") + 2), row.words) << row.line;
    }
}

// Schemas in files: $ref within one, to a file beside it, to the web (not fetched, said once),
// and a later draft (what it shares with draft 7 checked, the rest named).
TEST(Schema, FilesReferencesAndDrafts) {
    ScratchDir dir("schema");
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir.path / name) << text;
        return (dir.path / name).string();
    };
    std::filesystem::create_directories(dir.path / "defs");
    write("defs/port.json", R"({"definitions": {"port": {"type": "integer", "maximum": 9}}})");
    const std::string main = write("main.json", R"({
  "properties": {
    "a": {"$ref": "#/definitions/small"},
    "b": {"$ref": "defs/port.json#/definitions/port"},
    "c": {"$ref": "https://example.com/c.json"},
    "d": {"$ref": "https://example.com/c.json#/x"}
  },
  "definitions": {"small": {"maximum": 2}}
})");
    // A file: URI, as an editor gives one: file:///C:/x on Windows.
    const std::string uri = "file://" + std::string(main.front() == '/' ? "" : "/") +
                            std::filesystem::path(main).generic_string();
    const kessa::Schema schema = kessa::Schema::load(uri);
    EXPECT_EQ(schema.files().size(), 2u);
    EXPECT_EQ(
        findingsOf("a=3\nb=10\nc=anything\n", schema),
        (std::vector<std::string>{"1:3 schema-range maximum /a: \"3\" is above the maximum, 2",
                                  "2:3 schema-range maximum /b: \"10\" is above the maximum, 9"}));
    ASSERT_EQ(schema.notices().size(), 1u);
    const kessa::SchemaNotice& remote = schema.notices()[0];
    EXPECT_EQ(remote.kind, kessa::FindingKind::SchemaRemoteRef);
    EXPECT_EQ(remote.start, (kessa::TextPosition{5, 11}));
    EXPECT_EQ(
        remote.message,
        "the $ref \"https://example.com/c.json\" names a remote schema, which is not fetched: "
        "what it describes is not checked; save it beside this file and name it by its path");

    const kessa::Schema later = kessa::Schema::parse(R"({
  "$schema": "https://json-schema.org/draft/2020-12/schema",
  "$defs": {"n": {"type": "integer"}},
  "properties": {"p": {"prefixItems": [{"$ref": "#/$defs/n"}], "items": false},
                 "q": {"unevaluatedProperties": false}},
  "dependentRequired": {"p": ["r"]}
})",
                                                     "later.json");
    EXPECT_EQ(findingsOf("p={1,2}\nq={a=1}\n", later),
              (std::vector<std::string>{
                  "1:1 schema-required dependentRequired /p: the member \"p\" requires a member "
                  "\"r\" beside it, which its object does not have",
                  "1:6 schema-additional items /p/1: the schema allows 1 elements here, and this "
                  "is element 2",
                  "2:4 schema-additional unevaluatedProperties /q/a: the schema allows no member "
                  "\"a\" here: no keyword beside unevaluatedProperties names it"}));
    EXPECT_TRUE(later.notices().empty());
}

// A schema that cannot be used is refused with its own place, and the words say why.
TEST(Schema, RefusedSchemas) {
    ScratchDir dir("schema");
    std::ofstream(dir.path / "other.json") << R"({"definitions": {}})";
    const std::string other = (dir.path / "main.json").string();
    // As messages quote a name: a backslash (Windows' separator) doubled.
    std::string shownPath;
    for (const char c : other) c == '\\' ? shownPath.append("\\\\") : shownPath.append(1, c);
    const struct {
        std::string text;
        std::string error;
    } rows[] = {
        {"{\"type\": \"object\",\n \"properties\": {\"a\": }}",
         "main.json:2:22: not JSON: syntax error while parsing value - unexpected '}'; expected "
         "'[', '{', or a literal"},
        {"",
         "main.json:1:1: not JSON: syntax error while parsing value - unexpected end of input; "
         "expected '[', '{', or a literal"},
        {"{\"properties\": {\"port\": {\"type\": \"int\"}}}",
         "main.json:1:34: not a valid schema: the value at /properties/port/type names the type "
         "\"int\", which is none of array, boolean, integer, null, number, object and string"},
        {"{\"minimum\": \"5\"}",
         "main.json:1:13: not a valid schema: the value at /minimum is a string, which the keyword "
         "\"minimum\" does not take"},
        {"{\"maxLength\": -1}",
         "main.json:1:15: not a valid schema: the value at /maxLength is -1, below what the "
         "keyword \"maxLength\" takes"},
        // The JSON parser would stop at a NUL byte and take what comes before it.
        {std::string("99\0]", 4), "main.json:1:3: not JSON: a NUL byte"},
        {"{\"maximum\": 7e626}",
         "main.json:1:13: not JSON that can be read: the number 7e626 is beyond the range of a "
         "double"},
        {"[1]",
         "main.json:1:1: not a valid schema: the schema is an array, where a schema is an "
         "object"},
        {"{\"$ref\": \"#/definitions/missing\"}",
         "main.json:1:10: the $ref \"#/definitions/missing\" points at nothing in \"" + shownPath +
             "\""},
        {"{\"$ref\": \"other.json#/definitions/x\"}",
         "main.json:1:10: the $ref \"other.json#/definitions/x\" points at nothing in \"" +
             (dir.path / "other.json").generic_string() + "\""},
        {"{\"$ref\": \"gone.json\"}", "main.json:1:10: the $ref \"gone.json\" names \"" +
                                          (dir.path / "gone.json").generic_string() +
                                          "\", which cannot be read: No such file or directory"},
    };
    for (const auto& row : rows) {
        try {
            kessa::Schema::parse(row.text, other);
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const kessa::SchemaError& error) {
            std::string what = error.what();
            if (what.rfind(other, 0) == 0) what = "main.json" + what.substr(other.size());
            EXPECT_EQ(what, row.error) << row.text;
        }
    }
    try {
        kessa::Schema::load((dir.path / "absent.json").string());
        ADD_FAILURE() << "an absent schema was read";
    } catch (const kessa::SchemaError& error) {
        EXPECT_EQ(error.reason(), "cannot read the schema: No such file or directory");
        EXPECT_FALSE(error.position());
    }
}

// The rule, once: the check finds nothing if and only if the validator, reading the JSON the
// tool writes as any JSON reader would, finds it fits; over generated texts and schemas.
TEST(Schema, FitsExactlyWhenTheConvertedJsonFits) {
    const char* const schemas[] = {
        R"({"additionalProperties": {"type": ["integer", "string"]}})",
        R"({"properties": {"a": {"minimum": 0.5}, "b": {"maxLength": 2}}, "required": ["a"]})",
        R"({"additionalProperties": {"type": "array", "items": {"enum": [1, "x", 2.5]}}})",
        R"({"patternProperties": {"^[ab]$": {"type": "number"}}, "additionalProperties": false})",
        R"({"properties": {"a": {"type": "object", "minProperties": 2}}})",
        R"({"$schema": "https://json-schema.org/draft/2020-12/schema",
            "properties": {"a": {"prefixItems": [{"type": "integer"}], "items": false}},
            "unevaluatedProperties": {"type": "string"}})",
        R"({"additionalProperties": {"anyOf": [{"multipleOf": 0.5}, {"uniqueItems": true}]}})",
        R"({"propertyNames": {"maxLength": 2}, "additionalProperties": {"maxLength": 2}})",
    };
    const char* const values[] = {"1",         "2.5",    "-0",    "x",         "\"x y\"",
                                  "{}",        "{1,x}",  "{a=1}", "1.0000001", "007",
                                  "{a=1,b=x}", "\" 1\"", "0x1",   "{1,1.0}",   "\"x\ty\""};
    // A carriage return in a key and a tab between quotes are dropped: the bytes checked are not
    // the bytes written.
    const char* const keys[] = {"a", "b", "c", "a\rb"};
    std::mt19937 random(11);
    for (const char* text : schemas) {
        const kessa::Schema schema = kessa::Schema::parse(text, "generated.json");
        for (int round = 0; round < 300; ++round) {
            std::string kessa;
            for (int i = static_cast<int>(random() % 4); i != 0; --i) {
                kessa += std::string(keys[random() % 4]) + "=" + values[random() % 15] + "\n";
            }
            std::string json;
            kessa::KessaParser().parse(kessa)->appendCompact(json);
            const schema::JsonDocument read = schema::JsonDocument::parse(json);
            const bool fits =
                schema::Evaluator<schema::JsonDocument>(schema.impl().plan, read, nullptr)
                    .run(read.root());
            EXPECT_EQ(findingsOf(kessa, schema).empty(), fits) << text << "\n" << kessa;
        }
    }
}

}  // namespace
