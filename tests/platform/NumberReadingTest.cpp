#include "platform/NumberReading.h"

#include <gtest/gtest.h>

#include <climits>

namespace fotoshuttle {
namespace {

TEST(DecimalReading, FollowsTheLeadingNumber) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"", 0},
        {"   ", 0},
        {"abc", 0},
        {"2500", 2500},
        {"  42", 42},
        {"\t+17x", 17},
        {"-5000", -5000},
        {"2000ms", 2000},
        {"0x2000", 0},
        {"640px", 640},
        {"- 5", 0},
        {"+-5", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecimalReading(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(HexadecimalReading, ScansLikeAHexConversion) {
    struct Case {
        const char* text;
        HexScan scan;
        int value;
    } cases[] = {
        {"1000", HexScan::Converted, 0x1000},
        {"3000", HexScan::Converted, 0x3000},
        {"2000ms", HexScan::Converted, 0x2000},
        {"0x2000", HexScan::Converted, 0x2000},
        {"0X1f", HexScan::Converted, 0x1f},
        {"FFFF", HexScan::Converted, 0xFFFF},
        {"  -5000", HexScan::Converted, -0x5000},
        {"0x", HexScan::Converted, 0},
        {"0xg", HexScan::Converted, 0},
        {"x5", HexScan::NoNumber, 0},
        {"-", HexScan::NoNumber, 0},
        {"ms", HexScan::NoNumber, 0},
        {"", HexScan::NothingToScan, 0},
        {" \t ", HexScan::NothingToScan, 0},
        {"80000000", HexScan::Converted, INT_MAX},
        {"123456789ABCDEF", HexScan::Converted, INT_MAX},
        {"-123456789ABCDEF", HexScan::Converted, INT_MIN},
    };
    for (const Case& c : cases) {
        HexReading reading = HexadecimalReading(c.text);
        EXPECT_EQ(reading.scan, c.scan) << '"' << c.text << '"';
        if (c.scan == HexScan::Converted) {
            EXPECT_EQ(reading.value, c.value) << '"' << c.text << '"';
        }
    }
}

}  // namespace
}  // namespace fotoshuttle
