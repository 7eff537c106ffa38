// Slow checks of the command-line tool's JSON reader: how its time grows with the number of
// member names in one object. Kept out of the unit tests because they compare run times; the two
// documents are read in the same process, one after the other, so the machine's load affects
// both alike.
#include "tools/cli/json_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

double SecondsToRead(const std::string& doc, bool& ok) {
    kvcli::JsonValue v;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ok = kvcli::ReadJson(doc, v, error);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 64,000 names in one object against the same names in 640 objects of 100: the same text to
// read and the same members to build, so a reader whose duplicate check is linear in the names
// already read takes hundreds of times longer on the one object (seconds against tens of
// milliseconds), while a hashed check stays within a small factor.
TEST(JsonReaderSlow, OneObjectOfManyNamesTakesAboutAsLongAsManySmallOnes) {
    std::string big = "{", small = "[{";
    for (int i = 0; i < 64000; ++i) {
        const std::string member = "\"name" + std::to_string(i) + "\":0";
        big += member + ",";
        small += member + (i % 100 == 99 ? "},{" : ",");
    }
    big += "\"end\":0}";
    small += "\"end\":0}]";
    bool bigOk = false, smallOk = false;
    // The best of three for each, so that one preempted run does not decide.
    double bigTime = 1e9, smallTime = 1e9;
    for (int run = 0; run < 3; ++run) {
        bigTime = std::min(bigTime, SecondsToRead(big, bigOk));
        smallTime = std::min(smallTime, SecondsToRead(small, smallOk));
    }
    ASSERT_TRUE(bigOk);
    ASSERT_TRUE(smallOk);
    EXPECT_LT(bigTime, 8 * smallTime + 0.05)
        << "one object " << bigTime << " s, small ones " << smallTime << " s";
}

}  // namespace
