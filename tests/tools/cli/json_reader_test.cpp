// The command-line tool's JSON reader on well-formed and hostile texts: values and their kinds,
// the bounds on depth, size and names, and where a refused text stopped.
#include "tools/cli/json_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kvcli::JsonValue;
using kvcli::ReadJson;

TEST(JsonReader, ReadsValuesAndTheirKinds) {
    JsonValue v;
    std::string error;
    ASSERT_TRUE(
        ReadJson(" {\"a\": [1, -2.5, 3e2, 0], \"s\": \"x\\\"\\u00e9\\ud83d\\ude00\\n\", "
                 "\"t\": true, \"f\": false, \"n\": null, \"o\": {}} ",
                 v, error))
        << error;
    ASSERT_EQ(v.type, JsonValue::Type::Object);
    const JsonValue* a = v.Find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->items.size(), 4u);
    EXPECT_TRUE(a->items[0].whole);
    EXPECT_EQ(a->items[1].number, -2.5);
    EXPECT_FALSE(a->items[1].whole);
    EXPECT_EQ(a->items[2].number, 300.0);
    EXPECT_FALSE(a->items[2].whole);  // an exponent is not a whole number's form
    EXPECT_EQ(v.Find("s")->text, "x\"\xc3\xa9\xf0\x9f\x98\x80\n");
    EXPECT_TRUE(v.Find("t")->boolean);
    EXPECT_EQ(v.Find("n")->type, JsonValue::Type::Null);
    EXPECT_EQ(v.Find("o")->type, JsonValue::Type::Object);
    EXPECT_EQ(v.Find("absent"), nullptr);
}

TEST(JsonReader, RefusesWhatIsNotJsonAndSaysWhere) {
    const char* bad[] = {
        "",
        "{",
        "[1,]",
        "{\"a\" 1}",
        "{\"a\": 1,}",
        "01",
        "1.",
        "-",
        "1e",
        "NaN",
        "Infinity",
        "\"\\x\"",
        "\"a",
        "\"\\ud800\"",
        "\"\\udc00\"",
        "\"\\u12\"",
        "\"\\u0000\"",
        "[1] 2",
        "{\"a\": 1, \"a\": 2}",
        "\"tab\there\"",
        "tru",
        "1e999",
        "{1: 2}",
    };
    for (const char* text : bad) {
        JsonValue v;
        std::string error;
        EXPECT_FALSE(ReadJson(text, v, error)) << text;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << text << " -> " << error;
    }
    JsonValue v;
    std::string error;
    ASSERT_FALSE(ReadJson("{\n  \"keys\": [1, {\"x\": NaN}]\n}", v, error));
    EXPECT_NE(error.find("line 2, column 21"), std::string::npos) << error;
    EXPECT_NE(error.find("(in keys[1].x)"), std::string::npos) << error;
}

TEST(JsonReader, BoundsDepthSizeAndValueCount) {
    JsonValue v;
    std::string error;
    const std::string deep =
        std::string(kvcli::MaxJsonDepth, '[') + std::string(kvcli::MaxJsonDepth, ']');
    EXPECT_TRUE(ReadJson(deep, v, error)) << error;
    // One level more, and a nesting that would exhaust the stack of a reader without a bound.
    EXPECT_FALSE(ReadJson("[" + deep + "]", v, error));
    EXPECT_NE(error.find("nested deeper"), std::string::npos) << error;
    EXPECT_FALSE(ReadJson(std::string(1 << 19, '['), v, error));

    std::string big = "\"" + std::string(kvcli::MaxJsonBytes, 'a') + "\"";
    EXPECT_FALSE(ReadJson(big, v, error));
    EXPECT_NE(error.find("longer than"), std::string::npos) << error;

    std::string many = "[";
    for (size_t i = 0; i <= kvcli::MaxJsonValues; ++i) many += "0,";
    many += "0]";
    EXPECT_FALSE(ReadJson(many, v, error));
    EXPECT_NE(error.find("values"), std::string::npos) << error;
}

// An object of as many names as the value bound allows: all distinct is read whole, one name
// repeated far from its first use is refused and named, and the same name in sibling objects is
// no duplicate.
TEST(JsonReader, ManyNamesInOneObject) {
    const size_t count = kvcli::MaxJsonValues - 2;
    std::string doc = "{";
    for (size_t i = 0; i < count; ++i) doc += "\"n" + std::to_string(i) + "\":0,";
    std::string good = doc + "\"last\":1}";
    JsonValue v;
    std::string error;
    ASSERT_TRUE(ReadJson(good, v, error)) << error;
    ASSERT_EQ(v.members.size(), count + 1);
    ASSERT_NE(v.Find("n12345"), nullptr);
    EXPECT_EQ(v.Find("last")->number, 1.0);

    EXPECT_FALSE(ReadJson(doc + "\"n7\":1}", v, error));
    EXPECT_NE(error.find("\"n7\" appears twice"), std::string::npos) << error;

    EXPECT_TRUE(ReadJson(R"({"a":{"x":1,"y":2},"b":{"x":1,"y":2},"x":{"x":{"x":0}}})", v, error))
        << error;
    EXPECT_FALSE(ReadJson(R"({"a":{"x":1,"y":2,"x":3}})", v, error));
    EXPECT_NE(error.find("(in a)"), std::string::npos) << error;
}

}  // namespace
