#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/convert/BatchConversionFixture.h"

namespace fotoshuttle::testing {
namespace {

using Names = std::vector<std::string>;

TEST_F(BatchConversionFixture, ConvertsEligibleNamesOnlyAndDeletesConvertedSources) {
    WritePicture(In("IMG.JPG"), 64, 48);
    WritePicture(In("A.Jpg"), 32, 32);
    const std::string untouched = ReadFile(In("A.Jpg"));

    BatchSummary summary = RunBatch(Options(".png"));

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(PictureSize(Out("IMG.png")), std::pair(64, 48));
    EXPECT_EQ(ReadFile(Out("IMG.png")).substr(1, 3), "PNG");
    EXPECT_FALSE(Exists(In("IMG.JPG")));
    EXPECT_EQ(ReadFile(In("A.Jpg")), untouched);
    EXPECT_EQ(AllNames(m_out), Names{"IMG.png"});
    EXPECT_EQ(Log(), "");
    // Busy, the delay, the listing, one pass and its listing, the tidy listing, both lists, and
    // the controls back.
    EXPECT_EQ(m_waits, std::vector{std::chrono::milliseconds(1500)});
    EXPECT_EQ(m_observer.calls, (Names{"busy", "src", "src", "src", "src", "dst", "restore"}));
    EXPECT_EQ(m_observer.sourceListings.front(), (Names{"A.Jpg", "IMG.JPG"}));
    EXPECT_EQ(m_observer.outputListings.back(), Names{"IMG.png"});
}

TEST_F(BatchConversionFixture, AFileThatIsNoPictureIsLoggedByItsOutputPathAndKept) {
    WriteFile(In("notes.jpg.txt"), "just some text");

    BatchSummary summary = RunBatch(Options(".bmp"));

    EXPECT_EQ(summary.notConverted, 1);
    EXPECT_EQ(Log(), m_out + "/notes.jpg.bmp" + "は変換できませんでした。" + "\r\n");
    // Delete choice: a failed source is parked while the batch runs and then named as before.
    EXPECT_EQ(m_observer.sourceListings[1], Names{"notes$$$jpg$$$txt"});
    EXPECT_EQ(ReadFile(In("notes.jpg.txt")), "just some text");
    EXPECT_TRUE(AllNames(m_out).empty());
}

TEST_F(BatchConversionFixture, KeepChoiceParksSourcesDuringTheBatchAndRestoresThemAfter) {
    WritePicture(In("a.b.jpg"), 20, 20);
    WritePicture(In("odd.png"), 20, 20);
    ::rename(In("odd.png").c_str(), In("odd$$$name.png").c_str());

    BatchSummary summary = RunBatch(Options(".gif", "nodel"));

    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(summary.passes, 1);
    EXPECT_EQ(m_observer.sourceListings[1], (Names{"a$$$b$$$jpg", "odd$$$name$$$png"}));
    EXPECT_EQ(AllNames(m_in), (Names{"a.b.jpg", "odd.name.png"}));
    EXPECT_EQ(AllNames(m_out), (Names{"a.b.gif", "odd$$$name.gif"}));
}

TEST_F(BatchConversionFixture, DeleteChoiceRemovesCompanionFilesEvenWhenNothingIsConverted) {
    for (const char* name : {"x.hdr", "x.hdr.bak", "X.HDR", "p$$$jpg", "readme"}) {
        WriteFile(In(name), "x");
    }
    ASSERT_EQ(::chmod(In("x.hdr").c_str(), 0444), 0);  // not listed, so not deleted either

    BatchSummary summary = RunBatch(Options(".jpg"));

    EXPECT_EQ(summary.passes, 0);
    EXPECT_EQ(AllNames(m_in), (Names{"X.HDR", "p$$$jpg", "readme", "x.hdr"}));
    EXPECT_EQ(m_observer.calls, (Names{"busy", "src", "src", "src", "dst", "restore"}));

    ASSERT_EQ(::chmod(In("x.hdr").c_str(), 0644), 0);
    RunBatch(Options(".jpg"));
    EXPECT_EQ(AllNames(m_in), (Names{"X.HDR", "p$$$jpg", "readme"}));
}

TEST_F(BatchConversionFixture, APictureCopiedInDuringTheBatchIsConvertedByAFurtherPass) {
    WritePicture(In("first.jpg"), 30, 20);
    m_observer.afterSourceListing = [this](std::size_t listing) {
        if (listing == 0) {
            WritePicture(In("late.png"), 10, 12);
        }
    };

    BatchSummary summary = RunBatch(Options(".tif"));

    EXPECT_EQ(summary.passes, 2);
    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(PictureSize(Out("late.tif")), std::pair(10, 12));
    EXPECT_EQ(PictureSize(Out("first.tif")), std::pair(30, 20));
    EXPECT_TRUE(AllNames(m_in).empty());
}

TEST_F(BatchConversionFixture, HeritagePassesTheSourceTimesOnAndAFailureLogsTwoLines) {
    WritePicture(In("old.bmp"), 16, 16);
    SetFileTimes(In("old.bmp"), 1000000000);
    WriteFile(In("broken.jpg"), "not a picture");

    BatchSummary summary = RunBatch(Options(".jpg", "nodel", "heritage"));

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(ModificationSeconds(Out("old.jpg")), 1000000000);
    EXPECT_EQ(Log(), NotConvertedLine("broken.jpg") + TimestampLine("broken.jpg"));
}

TEST_F(BatchConversionFixture, HeritageOnASourceLockedByAnotherProgramLogsOneTimestampLine) {
    WritePicture(In("held.png"), 16, 16);
    const int fd = ::open(In("held.png").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    BatchSummary summary = RunBatch(Options(".bmp", "nodel", "heritage"));
    ::close(fd);

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(Log(), TimestampLine("held.png"));
    EXPECT_EQ(PictureSize(Out("held.bmp")), std::pair(16, 16));
}

TEST_F(BatchConversionFixture, ResizingUsesTheUpperBoxAsWidthAndTheLowerAsHeight) {
    WritePicture(In("photo.jpg"), 120, 90);
    ConversionOptions options = Options(".png");
    options.resize = "change";
    options.width = 400;
    options.height = 300;

    RunBatch(options);

    EXPECT_EQ(PictureSize(Out("photo.png")), std::pair(400, 300));
}

TEST_F(BatchConversionFixture, AFormatOutsideTheTableConvertsNothingAndKeepsEverySource) {
    for (const char* format : {".emf", "noselection"}) {
        WritePicture(In("keep.jpg"), 16, 16);
        WriteFile(m_log, "");

        BatchSummary summary = RunBatch(Options(format));

        EXPECT_EQ(summary.notConverted, 1) << format;
        EXPECT_EQ(Log(), NotConvertedLine(std::string("keep") + format)) << format;
        EXPECT_EQ(AllNames(m_in), Names{"keep.jpg"}) << format;
        EXPECT_TRUE(AllNames(m_out).empty()) << format;
    }
}

}  // namespace
}  // namespace fotoshuttle::testing
