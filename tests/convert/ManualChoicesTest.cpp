#include <gtest/gtest.h>

#include "convert/ManualChoices.h"
#include "platform/ProcessState.h"

namespace fotoshuttle {
namespace {

ChoiceControls CompleteControls() {
    ChoiceControls controls;
    controls.formatSelected[1] = true;  // PNG
    controls.resizeSelected = true;
    controls.sizeUpperText = "400";
    controls.sizeLowerText = "300";
    controls.keepSelected = true;
    controls.inheritSelected = true;
    return controls;
}

class ManualChoicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StoreConversionOptions(ConversionOptions{".jpg", "nochange", "del", "noheritage", 0, 0});
    }
    void TearDown() override { StoreConversionOptions(ConversionOptions{}); }
};

TEST_F(ManualChoicesTest, CompleteChoicesAreStoredAndReturned) {
    ManualChoiceOutcome outcome = StoreManualChoices(CompleteControls());
    ASSERT_TRUE(outcome.options.has_value());
    EXPECT_EQ(g_strFormat, ".png");
    EXPECT_EQ(g_strResize, "change");
    EXPECT_EQ(g_nWidth, 400);
    EXPECT_EQ(g_nHeight, 300);
    EXPECT_EQ(g_strAfter, "nodel");
    EXPECT_EQ(g_strTimestamp, "heritage");
    EXPECT_EQ(outcome.options->format, ".png");
    EXPECT_EQ(outcome.options->width, 400);
}

TEST_F(ManualChoicesTest, EachMissingChoiceStopsWithItsMessageAndKeepsWhatWasStored) {
    struct Case {
        std::function<void(ChoiceControls&)> spoil;
        const char* message;
        const char* format;
        const char* resize;
        const char* after;
        const char* timestamp;
    };
    const Case cases[] = {
        {[](ChoiceControls& c) { c.formatSelected = {}; }, "出力フォーマットを選択してください。",
         "noselection", "nochange", "del", "noheritage"},
        {[](ChoiceControls& c) { c.resizeSelected = false; }, "サイズ変更を選択してください。",
         ".png", "noselection", "del", "noheritage"},
        {[](ChoiceControls& c) { c.sizeLowerText.clear(); }, "変更サイズを入力してください。",
         ".png", "change", "del", "noheritage"},
        {[](ChoiceControls& c) { c.keepSelected = false; }, "入力画像の処理後を選択してください。",
         ".png", "change", "noselection", "noheritage"},
        {[](ChoiceControls& c) { c.inheritSelected = false; }, "タイムスタンプを選択してください。",
         ".png", "change", "nodel", "noselection"},
    };
    for (const Case& c : cases) {
        SetUp();
        ChoiceControls controls = CompleteControls();
        c.spoil(controls);
        ManualChoiceOutcome outcome = StoreManualChoices(controls);
        EXPECT_FALSE(outcome.options.has_value()) << c.message;
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_EQ(g_strFormat, c.format) << c.message;
        EXPECT_EQ(g_strResize, c.resize) << c.message;
        EXPECT_EQ(g_strAfter, c.after) << c.message;
        EXPECT_EQ(g_strTimestamp, c.timestamp) << c.message;
    }
}

TEST_F(ManualChoicesTest, SizeTextsAreReadAsDecimalsWithFifteenAsTheLeast) {
    const struct {
        bool resize;
        const char* upper;
        const char* lower;
        int width;
        int height;
    } cases[] = {
        {true, "7", "20px", 15, 20},
        {true, "abc", " +640", 15, 640},
        {false, "", "", 15, 15},
        {true, "-5", "800", 15, 800},
    };
    for (const auto& c : cases) {
        ChoiceControls controls = CompleteControls();
        controls.resizeSelected = c.resize;
        controls.noResizeSelected = !c.resize;
        controls.sizeUpperText = c.upper;
        controls.sizeLowerText = c.lower;
        ASSERT_TRUE(StoreManualChoices(controls).options.has_value()) << c.upper;
        EXPECT_EQ(g_nWidth, c.width) << c.upper;
        EXPECT_EQ(g_nHeight, c.height) << c.lower;
    }
}

TEST_F(ManualChoicesTest, ALaterSelectedButtonOverwritesAnEarlierOne) {
    ChoiceControls controls = CompleteControls();
    controls.formatSelected = {true, false, false, false, true, false};
    controls.noResizeSelected = true;
    ASSERT_TRUE(StoreManualChoices(controls).options.has_value());
    EXPECT_EQ(g_strFormat, ".jpg");
    EXPECT_EQ(g_strResize, "change");
}

}  // namespace
}  // namespace fotoshuttle
