#include "firmware/scanner/config.h"
#include "scan/Reply.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

float Decode(const std::string& s) {
    return DecodeReply(s.data(), static_cast<int>(s.size()));
}

TEST(Reply, DigitsAndEverythingElse) {
    for (int c = -128; c < 128; c++) {
        int expect = (c >= '0' && c <= '9') ? c - '0' : 0;
        EXPECT_EQ(CharToInt(static_cast<char>(c)), expect) << "byte " << c;
    }
}

// The scanner answers a distance as its echo time in whole microseconds, at
// its firmware's microseconds a centimetre: the program reads each back as
// that distance, to within the half microsecond of the answer's rounding.
TEST(Reply, TheScannersEchoTimeReadsBackAsItsDistance) {
    EXPECT_EQ(REPLY_US_PER_CM, static_cast<float>(ECHO_US_PER_CM));
    for (unsigned cm = RANGER_MIN_CM; cm <= RANGER_MAX_CM; cm++) {
        std::string us = std::to_string(std::lround(cm * 2 * ECHO_US_PER_CM));
        EXPECT_NEAR(Decode(us), cm, 0.5 / (2 * ECHO_US_PER_CM) + 1e-4) << cm << " cm";
    }
}

TEST(Reply, EchoTimesBecomeCentimetres) {
    EXPECT_EQ(Decode("582"), 10.0f);
    EXPECT_EQ(Decode("1746"), 30.0f);
    EXPECT_NEAR(Decode("1234"), 21.2027f, 1e-4f);
    EXPECT_EQ(Decode("0"), 0.0f);
    EXPECT_EQ(Decode("0000582"), 10.0f);
}

TEST(Reply, EveryByteIsADecimalPlace) {
    // CR LF are two more zero digits; a sign counts as a zero digit.
    EXPECT_NEAR(Decode("1234\r\n"), 2120.27f, 0.01f);
    EXPECT_NEAR(Decode("-5"), 0.0859f, 1e-4f);
    // A zero byte does not end the reply: decoding covers exactly len bytes.
    std::string withNul("58\0"
                        "2",
                        4);
    EXPECT_EQ(Decode(withNul), Decode("5802"));
    EXPECT_EQ(DecodeReply("582999", 3), 10.0f);
}

TEST(Reply, EmptyOrNegativeLengthIsZero) {
    EXPECT_EQ(DecodeReply("582", 0), 0.0f);
    EXPECT_EQ(DecodeReply("582", -1), 0.0f);
    EXPECT_EQ(DecodeReply(nullptr, 0), 0.0f);
}

TEST(Reply, LongRepliesRoundAsSinglePrecision) {
    // 16777217 is the first whole number a float cannot hold: the accumulation
    // lands on 16777216 (ties to even), which a double computation would not.
    float got = Decode("16777217");
    EXPECT_EQ(got, 16777216.0f / 2.0f / 29.1f);
    EXPECT_NE(got, static_cast<float>(16777217.0 / 2.0 / 29.1));
    // Past 2^24 every step rounds: a float accumulation, step by step, and not
    // the exact number, is what the decoder must give.
    float stepwise = 0.0f;
    const char* nines = "999999999";
    for (int i = 0; i < 9; i++) {
        float shifted = stepwise * 10.0f;
        stepwise = shifted + 9.0f;
    }
    EXPECT_EQ(Decode(nines), stepwise / 2.0f / 29.1f);
    // Far beyond the float range the value saturates to infinity, not a crash.
    std::string huge(100, '9');
    EXPECT_GT(Decode(huge), 1e30f);
}

} // namespace
