#include "convert/BatchConversion.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "convert/ErrorLog.h"
#include "convert/FolderListing.h"
#include "convert/PictureNames.h"
#include "platform/MessageBoxService.h"
#include "platform/ProcessInfo.h"
#include "platform/ProcessState.h"

namespace fotoshuttle {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The format table: the only values that convert anything.
struct FormatRoutine {
    std::string_view format;
    int (CPictureOperations::*routine)(const std::string&, const Bitmap*);
};
constexpr FormatRoutine kFormatTable[] = {
    {".bmp", &CPictureOperations::SaveAsBmp},  {".gif", &CPictureOperations::SaveAsGif},
    {".jpg", &CPictureOperations::SaveAsJpeg}, {".png", &CPictureOperations::SaveAsPng},
    {".tif", &CPictureOperations::SaveAsTiff},
};

}  // namespace

BatchSettings CurrentBatchSettings(std::uint32_t backgroundArgb) {
    BatchSettings settings;
    settings.sourceFolder = g_strSrcFolder;
    settings.outputFolder = g_strDstFolder;
    settings.options = CurrentConversionOptions();
    settings.delay = std::chrono::milliseconds(g_nDelayTime);
    settings.backgroundArgb = backgroundArgb;
    settings.logPath = GetLogFilePath();
    return settings;
}

BatchConverter::BatchConverter(CPictureOperations& operations, ConversionObserver& observer,
                               BatchSettings settings)
    : m_operations(operations),
      m_observer(observer),
      m_settings(std::move(settings)),
      m_ahead(operations) {}

void BatchConverter::Reset() {
    m_summary = BatchSummary{};
    m_settled.clear();
    m_deferrals.clear();
    m_outputOwner.clear();
    m_parkedFailures.clear();
    m_settleWaits = 0;
    m_sameFolder = IsSameFolder(m_settings.sourceFolder, m_settings.outputFolder);
    // A second thread only pays where it can run beside this one.
    m_decodesAhead = m_settings.decodeAhead && MayRunOnMoreThanOneProcessor();
    m_operations.SetBackgroundColor(m_settings.backgroundArgb);
}

BatchSummary BatchConverter::RunBatch() {
    m_manual = false;
    m_options = m_settings.options;
    m_observer.EnterBusy(false);
    Wait(m_settings.delay);
    Reset();
    RunPassesAndTidy(ListSourceFolder());
    return m_summary;
}

BatchSummary BatchConverter::RunManual() {
    m_manual = true;
    Reset();
    std::vector<std::string> listing = ListSourceFolder();
    bool anyEligible = false;
    for (const std::string& entry : listing) {
        anyEligible = anyEligible || IsEligibleEntry(entry);
    }
    if (!anyEligible) {
        ShowMessageBox(std::string(kNoPicturesToProcessMessage));
        m_observer.ShowOutputListing(ListFolder(m_settings.outputFolder));
        return m_summary;
    }
    ManualChoiceOutcome choices = StoreManualChoices(m_observer.ReadChoiceControls());
    if (!choices.options) {
        ShowMessageBox(choices.message);
        return m_summary;
    }
    m_options = *choices.options;
    m_observer.EnterBusy(true);
    RunPassesAndTidy(std::move(listing));
    return m_summary;
}

std::vector<std::string> BatchConverter::ListSourceFolder() {
    std::vector<std::string> listing = ListFolder(m_settings.sourceFolder);
    m_observer.ShowSourceListing(listing);
    return listing;
}

void BatchConverter::RunPassesAndTidy(std::vector<std::string> listing) {
    m_summary.ran = true;
    while (CountPending(listing) > 0) {
        RunPass(listing);
        ++m_summary.passes;
        listing = ListSourceFolder();
        if (OnlyDeferredPending(listing)) {
            Wait(m_settings.settleInterval);
            ++m_settleWaits;
        }
    }
    TidySourceFolder();
    ListSourceFolder();
    m_observer.ShowOutputListing(ListFolder(m_settings.outputFolder));
    m_observer.RestoreControlState();
}

bool BatchConverter::IsPending(const std::string& entry) const {
    return IsEligibleEntry(entry) && !m_settled.contains(entry);
}

int BatchConverter::CountPending(const std::vector<std::string>& listing) const {
    int pending = 0;
    for (const std::string& entry : listing) {
        pending += IsPending(entry) ? 1 : 0;
    }
    return pending;
}

bool BatchConverter::OnlyDeferredPending(const std::vector<std::string>& listing) const {
    bool any = false;
    for (const std::string& entry : listing) {
        if (IsPending(entry)) {
            if (!m_deferrals.contains(entry)) {
                return false;
            }
            any = true;
        }
    }
    return any;
}

void BatchConverter::RunPass(const std::vector<std::string>& listing) {
    auto next = std::find_if(listing.begin(), listing.end(),
                             [this](const std::string& entry) { return IsPending(entry); });
    while (next != listing.end()) {
        const std::string& entry = *next;
        // Converting an entry settles at most that entry, so its successor is known now.
        next = std::find_if(next + 1, listing.end(),
                            [this](const std::string& later) { return IsPending(later); });
        switch (ConvertEntry(entry, next == listing.end() ? nullptr : &*next)) {
            case EntryOutcome::Converted:
                ++m_summary.converted;
                break;
            case EntryOutcome::NotConverted:
                ++m_summary.notConverted;
                break;
            case EntryOutcome::Deferred:
                ++m_summary.deferred;
                break;
        }
    }
    m_ahead.Discard();
}

BatchConverter::EntryOutcome BatchConverter::ConvertEntry(const std::string& entry,
                                                          const std::string* nextEntry) {
    const std::string sourcePath = SourcePath(entry);
    const std::string outputName = OutputEntryName(entry, m_options.format);
    const std::string outputPath = m_settings.outputFolder + "/" + outputName;

    SaveRoutine routine = nullptr;
    for (const FormatRoutine& row : kFormatTable) {
        if (m_options.format == row.format) {
            routine = row.routine;
            break;
        }
    }

    Attempt attempt;
    if (routine != nullptr && !WouldReplaceInputFile(entry, outputName) &&
        !CollidesInBatch(entry, outputName)) {
        DecodedSource source =
            m_decodesAhead ? m_ahead.Take(sourcePath) : DecodeSource(m_operations, sourcePath);
        if (m_decodesAhead && nextEntry != nullptr &&
            ReadingAheadFits(SourcePath(*nextEntry), m_options.format)) {
            // Read while this one is saved; its own turn checks again whether it is converted.
            m_ahead.Start(SourcePath(*nextEntry));
        }
        attempt = AttemptConversion(std::move(source), outputPath, routine);
        if (attempt.incomplete) {
            switch (JudgeIncomplete(entry, sourcePath)) {
                case Incomplete::TryLater:
                    return EntryOutcome::Deferred;
                case Incomplete::LeaveToLaterBatch:
                    m_deferrals.erase(entry);
                    m_settled.insert(entry);
                    return EntryOutcome::Deferred;
                case Incomplete::Final:
                    break;
            }
        }
    }
    m_deferrals.erase(entry);

    if (!attempt.saved) {
        Log(outputPath + std::string(kNotConvertedSuffix) + std::string(kLineEnd));
    }
    SetPlainAttributes(sourcePath);
    if (attempt.saved) {
        SetPlainAttributes(outputPath);
        m_outputOwner[outputName] = entry;
    }
    // The times were put on the output before it was renamed into place; an output that was
    // not written has no times to take.
    if (m_options.PassesTimesOn() && !attempt.timesPassed) {
        Log(sourcePath + std::string(kTimestampNotPassedSuffix) + std::string(kLineEnd));
        ++m_summary.timestampFailures;
    }
    DisposeOfSource(entry, attempt.saved);
    return attempt.saved ? EntryOutcome::Converted : EntryOutcome::NotConverted;
}

BatchConverter::Attempt BatchConverter::AttemptConversion(DecodedSource source,
                                                          const std::string& outputPath,
                                                          SaveRoutine routine) {
    Attempt attempt;
    const std::string& sourcePath = source.path;
    const std::optional<FileSignature>& before = source.before;
    if (!source.picture) {
        attempt.incomplete = source.failure == LoadStatus::Truncated ||
                             (before && before->size == 0) ||
                             before != ReadFileSignature(sourcePath);
        return attempt;
    }
    BitmapHandle picture = std::move(source.picture);
    if (m_options.Resizes()) {
        picture = m_operations.ResizeBitmap(picture.get(), m_options.width, m_options.height);
    }
    const std::string temporaryPath = NextTemporaryPath();
    const int saved = (m_operations.*routine)(temporaryPath, picture.get());
    picture.reset();
    if (saved != 1) {
        RemoveFile(temporaryPath);
        return attempt;
    }
    // A source that changed while it was read may have given half a picture.
    if (!before || before != ReadFileSignature(sourcePath)) {
        RemoveFile(temporaryPath);
        attempt.incomplete = true;
        return attempt;
    }
    SetPlainAttributes(sourcePath);
    SetPlainAttributes(temporaryPath);
    attempt.timesPassed = m_options.PassesTimesOn() && PassFileTimesOn(sourcePath, temporaryPath);
    if (::rename(temporaryPath.c_str(), outputPath.c_str()) != 0) {
        RemoveFile(temporaryPath);
        attempt.timesPassed = false;
        return attempt;
    }
    attempt.saved = true;
    return attempt;
}

bool BatchConverter::WouldReplaceInputFile(const std::string& entry,
                                           const std::string& outputName) const {
    if (!m_sameFolder) {
        return false;
    }
    return outputName == entry || PathExists(SourcePath(outputName));
}

bool BatchConverter::CollidesInBatch(const std::string& entry,
                                     const std::string& outputName) const {
    auto owner = m_outputOwner.find(outputName);
    return owner != m_outputOwner.end() && owner->second != entry;
}

BatchConverter::Incomplete BatchConverter::JudgeIncomplete(const std::string& entry,
                                                           const std::string& sourcePath) {
    const std::optional<FileSignature> now = ReadFileSignature(sourcePath);
    auto earlier = m_deferrals.find(entry);
    if (earlier == m_deferrals.end()) {
        m_deferrals[entry] = Deferral{now, 1, m_settleWaits};
        return Incomplete::TryLater;
    }
    Deferral& deferral = earlier->second;
    if (deferral.signature == now && m_settleWaits != deferral.settleWaitsBefore) {
        // Unchanged over a whole settle wait: nobody is writing it, so it is as complete as
        // it will get.
        return Incomplete::Final;
    }
    if (deferral.count >= m_settings.maxDeferrals) {
        return Incomplete::LeaveToLaterBatch;
    }
    ++deferral.count;
    if (deferral.signature != now) {
        deferral.signature = now;
        deferral.settleWaitsBefore = m_settleWaits;
    }
    return Incomplete::TryLater;
}

void BatchConverter::DisposeOfSource(const std::string& entry, bool saved) {
    const std::string sourcePath = SourcePath(entry);
    if (saved && m_options.DeletesSources()) {
        if (!RemoveFile(sourcePath)) {
            m_settled.insert(entry);
        }
        return;
    }
    const std::string parked = ParkedEntryName(entry);
    if (!MoveWithoutReplacing(sourcePath, SourcePath(parked))) {
        m_settled.insert(entry);
        return;
    }
    if (!saved && m_options.DeletesSources()) {
        m_parkedFailures.emplace_back(parked, entry);
    }
}

void BatchConverter::TidySourceFolder() {
    const bool deletes = m_options.DeletesSources();
    for (const std::string& entry : ListSourceFolder()) {
        const std::string path = SourcePath(entry);
        if (deletes && IsCompanionEntry(entry)) {
            SetPlainAttributes(path);
            RemoveFile(path);
        } else if (!deletes && IsParkedEntry(entry)) {
            SetPlainAttributes(path);
            MoveWithoutReplacing(path, SourcePath(UnparkedEntryName(entry)));
        }
    }
    // Failed sources under the delete choice were only parked to end the passes.
    for (const auto& [parked, original] : m_parkedFailures) {
        MoveWithoutReplacing(SourcePath(parked), SourcePath(original));
    }
}

void BatchConverter::Log(const std::string& text) {
    AppendLog(m_settings.logPath, text);
    if (m_manual) {
        ShowMessageBox(text.substr(0, text.size() - kLineEnd.size()));
    }
}

void BatchConverter::Wait(std::chrono::milliseconds duration) {
    if (m_settings.wait) {
        m_settings.wait(duration);
    } else {
        std::this_thread::sleep_for(duration);
    }
}

std::string BatchConverter::NextTemporaryPath() {
    return m_settings.outputFolder + "/.fotoshuttle-" + std::to_string(::getpid()) + "-" +
           std::to_string(++m_temporaryCounter) + ".tmp";
}

std::string BatchConverter::SourcePath(const std::string& entry) const {
    return m_settings.sourceFolder + "/" + entry;
}

}  // namespace fotoshuttle
