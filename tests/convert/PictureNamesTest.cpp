#include <gtest/gtest.h>

#include "convert/PictureNames.h"

namespace fotoshuttle {
namespace {

TEST(PictureNames, EligibilityIsACaseSensitiveSubstringOfTheFourteenExtensions) {
    const struct {
        const char* entry;
        bool eligible;
    } cases[] = {
        {"IMG_01.JPG", true}, {"scan.tiff", true},    {"notes.jpg.txt", true}, {"a.JPEG", true},
        {"x.TIF", true},      {"[photos.png]", true}, {"A.Jpg", false},        {"photo.jpe", false},
        {"FORSTOP", false},   {"a$$$b$$$jpg", false}, {"写真.Png", false},     {"写真.gif", true},
        {"x.hdr", false},     {"bmp", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsEligibleEntry(c.entry), c.eligible) << c.entry;
    }
}

TEST(PictureNames, OutputNameReplacesTheTextFromTheLastDot) {
    const struct {
        const char* entry;
        const char* format;
        const char* output;
    } cases[] = {
        {"IMG_01.JPG", ".png", "IMG_01.png"},         {"a.b.jpeg", ".bmp", "a.b.bmp"},
        {"notes.jpg.txt", ".bmp", "notes.jpg.bmp"},   {"[dir.jpg]", ".png", "[dir.png"},
        {"IMG.jpg", "noselection", "IMGnoselection"}, {"noext", ".png", "noext.png"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputEntryName(c.entry, c.format), c.output) << c.entry;
    }
}

TEST(PictureNames, ParkingReplacesEveryDotAndBack) {
    EXPECT_EQ(ParkedEntryName("a.b.jpg"), "a$$$b$$$jpg");
    EXPECT_EQ(UnparkedEntryName("a$$$b$$$jpg"), "a.b.jpg");
    EXPECT_FALSE(IsEligibleEntry(ParkedEntryName("x.tiff.JPG")));
    // A name that held the marker itself comes back with a "." in its place.
    EXPECT_EQ(UnparkedEntryName(ParkedEntryName("odd$$$name.png")), "odd.name.png");
    EXPECT_TRUE(IsParkedEntry("a$$$jpg"));
    EXPECT_FALSE(IsParkedEntry("a$$jpg"));
    EXPECT_TRUE(IsCompanionEntry("x.hdr.bak"));
    EXPECT_FALSE(IsCompanionEntry("X.HDR"));
}

}  // namespace
}  // namespace fotoshuttle
