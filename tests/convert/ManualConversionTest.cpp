#include <gtest/gtest.h>

#include "platform/ProcessState.h"
#include "tests/convert/BatchConversionFixture.h"
#include "tests/support/RecordingMessageBoxService.h"

namespace fotoshuttle::testing {
namespace {

using Names = std::vector<std::string>;

class ManualConversionTest : public BatchConversionFixture {
  protected:
    ManualConversionTest() {
        m_observer.controls.formatSelected[1] = true;  // PNG
        m_observer.controls.noResizeSelected = true;
        m_observer.controls.deleteSelected = true;
        m_observer.controls.noInheritSelected = true;
    }
    ~ManualConversionTest() override { StoreConversionOptions(ConversionOptions{}); }

    BatchSummary RunManual() {
        // Whatever a watched batch would use must not matter here.
        BatchConverter converter(m_operations, m_observer, Settings(Options(".gif", "nodel")));
        return converter.RunManual();
    }

    RecordingMessageBoxService m_boxes;
};

TEST_F(ManualConversionTest, NothingEligibleShowsItsMessageAndChangesNothing) {
    for (const char* name : {"x.hdr", "p$$$jpg", "A.Jpg"}) {
        WriteFile(In(name), "x");
    }

    BatchSummary summary = RunManual();

    EXPECT_FALSE(summary.ran);
    EXPECT_EQ(m_boxes.texts(), Names{"処理対象の画像はありません"});
    EXPECT_EQ(m_observer.calls, (Names{"src", "dst"}));
    EXPECT_EQ(AllNames(m_in), (Names{"A.Jpg", "p$$$jpg", "x.hdr"}));
    EXPECT_TRUE(m_waits.empty());
}

TEST_F(ManualConversionTest, AFailingPictureGivesItsLogLineAndThenABoxWithTheSameText) {
    WriteFile(In("broken.jpg"), "no picture");
    WritePicture(In("fine.bmp"), 12, 12);
    std::vector<std::string> logWhenBoxShown;
    m_boxes.SetHook([&](const RecordingMessageBoxService::Shown&) {
        logWhenBoxShown.push_back(Log());
        return BoxAnswer::Ok;
    });

    BatchSummary summary = RunManual();

    const std::string line = NotConvertedLine("broken.png");
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(Log(), line);
    EXPECT_EQ(m_boxes.texts(), Names{line.substr(0, line.size() - 2)});
    EXPECT_EQ(logWhenBoxShown, Names{line});
    EXPECT_EQ(PictureSize(Out("fine.png")), std::pair(12, 12));
    EXPECT_EQ(AllNames(m_in), Names{"broken.jpg"});
    EXPECT_TRUE(m_waits.empty()) << "a manual conversion has no delay";
    EXPECT_EQ(m_observer.calls,
              (Names{"src", "choices", "busy+convert-now", "src", "src", "src", "dst", "restore"}));
    EXPECT_EQ(g_strFormat, ".png");
    EXPECT_EQ(g_strAfter, "del");
}

TEST_F(ManualConversionTest, HeritageFailuresAlsoGetABoxEach) {
    WriteFile(In("broken.tif"), "no picture");
    m_observer.controls.noInheritSelected = false;
    m_observer.controls.inheritSelected = true;

    RunManual();

    const std::string converted = NotConvertedLine("broken.png");
    const std::string timestamp = TimestampLine("broken.tif");
    EXPECT_EQ(Log(), converted + timestamp);
    EXPECT_EQ(m_boxes.texts(), (Names{converted.substr(0, converted.size() - 2),
                                      timestamp.substr(0, timestamp.size() - 2)}));
}

TEST_F(ManualConversionTest, AMissingChoiceShowsItsMessageAndConvertsNothing) {
    WritePicture(In("wait.jpg"), 12, 12);
    m_observer.controls.resizeSelected = true;
    m_observer.controls.noResizeSelected = false;
    m_observer.controls.sizeUpperText = "100";

    BatchSummary summary = RunManual();

    EXPECT_FALSE(summary.ran);
    EXPECT_EQ(m_boxes.texts(), Names{"変更サイズを入力してください。"});
    EXPECT_EQ(m_observer.calls, (Names{"src", "choices"}));
    EXPECT_EQ(AllNames(m_in), Names{"wait.jpg"});
    EXPECT_TRUE(AllNames(m_out).empty());
    EXPECT_EQ(g_strResize, "change");
}

}  // namespace
}  // namespace fotoshuttle::testing
