#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/convert/BatchConversionFixture.h"

namespace fotoshuttle::testing {
namespace {

using Names = std::vector<std::string>;

// Picture operations of a dialog whose input folder another program writes to while the batch
// reads it: once the picture at trigger has been loaded, a new picture is written to target.
class OperationsWithAWriterBehind : public CPictureOperations {
  public:
    OperationsWithAWriterBehind(std::string trigger, std::string target, int width, int height)
        : m_trigger(std::move(trigger)),
          m_target(std::move(target)),
          m_width(width),
          m_height(height) {}
    BitmapHandle LoadPictureFile(const std::string& path) override {
        BitmapHandle loaded = CPictureOperations::LoadPictureFile(path);
        if (path == m_trigger && !m_written) {
            m_written = true;
            WritePicture(m_target, m_width, m_height);
        }
        return loaded;
    }

  private:
    std::string m_trigger;
    std::string m_target;
    int m_width;
    int m_height;
    bool m_written = false;
};

// Three pictures whose BMP outputs need about 270 KB each.
void WriteThreeSources(BatchConversionFixture& f) {
    for (const char* name : {"one.jpg", "two.png", "three.gif"}) {
        WritePicture(f.In(name), 300, 300);
    }
}

void ExpectNothingConvertedAndEverySourceKept(BatchConversionFixture& f) {
    EXPECT_EQ(f.Log(), f.NotConvertedLine("one.bmp") + f.NotConvertedLine("three.bmp") +
                           f.NotConvertedLine("two.bmp"));
    EXPECT_EQ(AllNames(f.m_in), (Names{"one.jpg", "three.gif", "two.png"}));
    EXPECT_TRUE(AllNames(f.m_out).empty()) << "no partial or temporary file may stay behind";
}

TEST_F(BatchConversionFixture, AFullOutputDiskLogsEveryPictureAndKeepsEverySource) {
    if (::mount("tmpfs", m_out.c_str(), "tmpfs", 0, "size=100k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    WriteThreeSources(*this);

    BatchSummary summary = RunBatch(Options(".bmp"));

    EXPECT_EQ(summary.notConverted, 3);
    ExpectNothingConvertedAndEverySourceKept(*this);
    ::umount(m_out.c_str());
}

TEST_F(BatchConversionFixture, AReadOnlyOutputFolderLogsEveryPictureAndKeepsEverySource) {
    ASSERT_EQ(::chmod(m_out.c_str(), 0555), 0);
    if (::faccessat(AT_FDCWD, m_out.c_str(), W_OK, AT_EACCESS) == 0) {
        GTEST_SKIP() << "permission bits are not enforced for this user";
    }
    WriteThreeSources(*this);

    RunBatch(Options(".bmp"));

    ExpectNothingConvertedAndEverySourceKept(*this);
    ::chmod(m_out.c_str(), 0755);
}

TEST_F(BatchConversionFixture, DeleteChoiceNeverDeletesASourceWhoseSaveFailed) {
    WritePicture(In("good.jpg"), 16, 16);
    WriteFile(In("bad.png"), "\x89PNG but nothing after");
    WriteFile(In("bad.hdr"), "companion");

    BatchSummary summary = RunBatch(Options(".jpg"));

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(Log(), NotConvertedLine("bad.jpg"));
    EXPECT_EQ(m_observer.sourceListings[1], (Names{"bad$$$png", "bad.hdr"}));
    EXPECT_EQ(AllNames(m_in), Names{"bad.png"});
    EXPECT_EQ(ReadFile(In("bad.png")), "\x89PNG but nothing after");
}

TEST_F(BatchConversionFixture, TwoSourcesForOneOutputNameConvertTheFirstAndKeepTheSecond) {
    WritePicture(In("a.jpg"), 40, 30);
    WritePicture(In("a.png"), 10, 10);
    const std::string second = ReadFile(In("a.png"));

    BatchSummary summary = RunBatch(Options(".bmp"));

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(summary.notConverted, 1);
    EXPECT_EQ(PictureSize(Out("a.bmp")), std::pair(40, 30));
    EXPECT_EQ(Log(), NotConvertedLine("a.bmp"));
    EXPECT_EQ(AllNames(m_in), Names{"a.png"});
    EXPECT_EQ(ReadFile(In("a.png")), second);
}

TEST_F(BatchConversionFixture, ASourceCopiedAgainUnderItsNameReplacesItsOwnOutput) {
    WritePicture(In("again.jpg"), 20, 20);
    WritePicture(In("zz.jpg"), 8, 8);
    // Copied in again after the first copy was converted and deleted.
    OperationsWithAWriterBehind operations(In("zz.jpg"), In("again.jpg"), 24, 18);

    BatchSummary summary = RunBatch(Options(".png"), operations);

    EXPECT_EQ(summary.passes, 2);
    EXPECT_EQ(summary.converted, 3);
    EXPECT_EQ(PictureSize(Out("again.png")), std::pair(24, 18));
    EXPECT_EQ(Log(), "");
}

TEST_F(BatchConversionFixture, AnEntryThatCanBeNeitherDeletedNorParkedEndsTheBatch) {
    struct Case {
        const char* what;
        const char* after;
        std::function<void(BatchConversionFixture&)> prepare;
        Names inputAfterwards;
        int converted;
    };
    const Case cases[] = {
        {"a subfolder with a picture extension", "del",
         [](BatchConversionFixture& f) { ::mkdir(f.In("album.jpg").c_str(), 0755); },
         Names{"album.jpg"}, 0},
        {"a parked name that already exists", "nodel",
         [](BatchConversionFixture& f) {
             WritePicture(f.In("p.jpg"), 16, 16);
             WriteFile(f.In("p$$$jpg"), "someone else's");
         },
         Names{"p$$$jpg", "p.jpg"}, 1},
        {"a source in a folder without write permission", "del",
         [](BatchConversionFixture& f) {
             WritePicture(f.In("locked.jpg"), 16, 16);
             ::chmod(f.m_in.c_str(), 0555);
         },
         Names{"locked.jpg"}, 1},
    };
    for (const Case& c : cases) {
        TempFolder fresh;
        m_in = fresh / "in";
        m_out = fresh / "out";
        ::mkdir(m_in.c_str(), 0755);
        ::mkdir(m_out.c_str(), 0755);
        c.prepare(*this);

        BatchSummary summary = RunBatch(Options(".png", c.after));

        EXPECT_EQ(summary.passes, 1) << c.what;
        EXPECT_EQ(summary.converted, c.converted) << c.what;
        EXPECT_EQ(AllNames(m_in), c.inputAfterwards) << c.what;
        ::chmod(m_in.c_str(), 0755);
    }
}

TEST_F(BatchConversionFixture, AnOutputThatWouldBeTheSourceItselfIsNotWritten) {
    m_out = m_in + "/";  // the same folder, spelt differently
    WritePicture(In("same.png"), 16, 16);
    WritePicture(In("other.jpg"), 16, 16);
    WritePicture(In("other.png"), 8, 8);
    const std::string samePicture = ReadFile(In("same.png"));
    const std::string otherPicture = ReadFile(In("other.png"));

    BatchSummary summary = RunBatch(Options(".png"));

    EXPECT_EQ(summary.converted, 0);
    // other.jpg would replace the input picture other.png, which is then itself its own output.
    EXPECT_EQ(Log(), NotConvertedLine("other.png") + NotConvertedLine("other.png") +
                         NotConvertedLine("same.png"));
    EXPECT_EQ(AllNames(m_in), (Names{"other.jpg", "other.png", "same.png"}));
    EXPECT_EQ(ReadFile(In("same.png")), samePicture);
    EXPECT_EQ(ReadFile(In("other.png")), otherPicture);
}

// The bytes of a complete JPEG, and its first half written where the batch finds it.
std::string WriteHalfAPicture(BatchConversionFixture& f, const std::string& name) {
    const std::string whole = f.m_root / "whole.jpg";
    WritePicture(whole, 200, 100);
    const std::string bytes = ReadFile(whole);
    ::unlink(whole.c_str());
    WriteFile(f.In(name), bytes.substr(0, bytes.size() / 2));
    return bytes;
}

TEST_F(BatchConversionFixture, APictureStillBeingWrittenIsConvertedOnceItIsComplete) {
    const std::string bytes = WriteHalfAPicture(*this, "arriving.jpg");
    // The copy finishes while the batch waits for it.
    m_onWait = [&](std::chrono::milliseconds duration) {
        if (duration == std::chrono::milliseconds(5)) {
            WriteFile(In("arriving.jpg"), bytes);
        }
    };

    BatchSummary summary = RunBatch(Options(".png"));

    EXPECT_EQ(summary.deferred, 1);
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(PictureSize(Out("arriving.png")), std::pair(200, 100));
    EXPECT_FALSE(Exists(In("arriving.jpg")));
    EXPECT_EQ(Log(), "");
}

TEST_F(BatchConversionFixture, APictureThatStaysTruncatedIsLoggedAndNeverDeleted) {
    const std::string bytes = WriteHalfAPicture(*this, "cut.jpg");
    const std::string half = ReadFile(In("cut.jpg"));

    BatchSummary summary = RunBatch(Options(".png"));

    EXPECT_EQ(summary.deferred, 1);
    EXPECT_EQ(summary.notConverted, 1);
    EXPECT_EQ(Log(), NotConvertedLine("cut.png"));
    EXPECT_EQ(ReadFile(In("cut.jpg")), half);
    EXPECT_TRUE(AllNames(m_out).empty());
}

TEST_F(BatchConversionFixture, ASourceChangedDuringItsConversionIsConvertedAgainAfterwards) {
    WritePicture(In("changing.png"), 16, 16);
    OperationsWithAWriterBehind operations(In("changing.png"), In("changing.png"), 64, 64);

    BatchSummary summary = RunBatch(Options(".jpg"), operations);

    EXPECT_EQ(summary.deferred, 1);
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(PictureSize(Out("changing.jpg")), std::pair(64, 64));
    EXPECT_FALSE(Exists(In("changing.png")));
}

TEST_F(BatchConversionFixture, APictureStillGrowingWhenTheBatchGivesUpIsLeftForALaterBatch) {
    const std::string bytes = WriteHalfAPicture(*this, "slow.jpg");
    std::size_t written = bytes.size() / 2;
    m_onWait = [&](std::chrono::milliseconds duration) {
        if (duration == std::chrono::milliseconds(5) && written + 100 < bytes.size()) {
            written += 100;
            WriteFile(In("slow.jpg"), bytes.substr(0, written));
        }
    };
    BatchSettings settings = Settings(Options(".png"));
    settings.maxDeferrals = 3;

    BatchSummary summary = BatchConverter(m_operations, m_observer, settings).RunBatch();

    EXPECT_EQ(summary.converted + summary.notConverted, 0);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(ReadFile(In("slow.jpg")), bytes.substr(0, written));
    EXPECT_TRUE(AllNames(m_out).empty());

    WriteFile(In("slow.jpg"), bytes);  // the copy ends; its last write starts the next batch
    EXPECT_EQ(RunBatch(Options(".png")).converted, 1);
    EXPECT_EQ(PictureSize(Out("slow.png")), std::pair(200, 100));
}

}  // namespace
}  // namespace fotoshuttle::testing
