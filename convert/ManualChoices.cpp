#include "convert/ManualChoices.h"

#include <algorithm>

#include "platform/NumberReading.h"

namespace fotoshuttle {
namespace {

constexpr int kSmallestOutputSide = 15;

ManualChoiceOutcome Refused(const ConversionOptions& storedSoFar, const char* message) {
    StoreConversionOptions(storedSoFar);
    return ManualChoiceOutcome{std::nullopt, message};
}

}  // namespace

ManualChoiceOutcome StoreManualChoices(const ChoiceControls& controls) {
    ConversionOptions options = CurrentConversionOptions();

    static const char* const kFormats[] = {".bmp", ".png", ".gif", ".tif", ".jpg", ".emf"};
    options.format = "noselection";
    for (std::size_t i = 0; i < controls.formatSelected.size(); ++i) {
        if (controls.formatSelected[i]) {
            options.format = kFormats[i];
        }
    }
    if (options.format == "noselection") {
        return Refused(options, "出力フォーマットを選択してください。");
    }

    options.resize = "noselection";
    if (controls.noResizeSelected) {
        options.resize = "nochange";
    }
    if (controls.resizeSelected) {
        options.resize = "change";
    }
    if (options.resize == "noselection") {
        return Refused(options, "サイズ変更を選択してください。");
    }

    if (options.resize == "change" &&
        (controls.sizeUpperText.empty() || controls.sizeLowerText.empty())) {
        return Refused(options, "変更サイズを入力してください。");
    }
    options.width = std::max(DecimalReading(controls.sizeUpperText), kSmallestOutputSide);
    options.height = std::max(DecimalReading(controls.sizeLowerText), kSmallestOutputSide);

    options.after = "noselection";
    if (controls.deleteSelected) {
        options.after = "del";
    }
    if (controls.keepSelected) {
        options.after = "nodel";
    }
    if (options.after == "noselection") {
        return Refused(options, "入力画像の処理後を選択してください。");
    }

    options.timestamp = "noselection";
    if (controls.noInheritSelected) {
        options.timestamp = "noheritage";
    }
    if (controls.inheritSelected) {
        options.timestamp = "heritage";
    }
    if (options.timestamp == "noselection") {
        return Refused(options, "タイムスタンプを選択してください。");
    }

    StoreConversionOptions(options);
    return ManualChoiceOutcome{options, {}};
}

}  // namespace fotoshuttle
