#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/ConversionObserver.h"
#include "convert/ConversionOptions.h"
#include "convert/DecodeAhead.h"
#include "convert/SourceFileOperations.h"
#include "imaging/PictureOperations.h"

namespace fotoshuttle {

inline constexpr std::string_view kNotConvertedSuffix = "は変換できませんでした。";
inline constexpr std::string_view kTimestampNotPassedSuffix =
    "はタイムスタンプが更新できませんでした。";
inline constexpr std::string_view kNoPicturesToProcessMessage = "処理対象の画像はありません";

using WaitFunction = std::function<void(std::chrono::milliseconds)>;

struct BatchSettings {
    std::string sourceFolder;
    std::string outputFolder;
    // Used by RunBatch; RunManual takes the dialog's choices instead.
    ConversionOptions options;
    std::chrono::milliseconds delay{1000};
    // Put behind pixels that are not opaque (the dialog's button colour, 0xAARRGGBB).
    std::uint32_t backgroundArgb = 0xFFF0F0F0;
    std::string logPath;
    // Every wait of the batch goes through here (the delay, the settling of files still being
    // written); empty means sleeping.
    WaitFunction wait;
    // How long a pass waits when only pictures that are still being written remain.
    std::chrono::milliseconds settleInterval{1000};
    // How often one picture may be put off in a batch while it keeps changing. Beyond that it
    // is left untouched and unlogged for a later batch (its further writes start one).
    int maxDeferrals = 10;
    // Decode the next picture on a second thread while the current one is resized and saved,
    // where the process may run on more than one processor and the memory allows (see
    // ReadingAheadFits).
    bool decodeAhead = true;
};

struct BatchSummary {
    bool ran = false;  // false when a manual conversion found nothing or a choice was missing
    int passes = 0;
    int converted = 0;
    int notConverted = 0;       // not-converted entries logged
    int timestampFailures = 0;  // time-stamp entries logged
    int deferred = 0;           // attempts put off because the file was still being written
};

// One conversion of the input folder into the output folder: the watcher's batch or the
// manual conversion. Each eligible entry is loaded, optionally resized and saved through the
// given picture operations (the dialog's own), and its source deleted or parked; passes repeat
// while eligible entries remain, then the input folder is tidied. Failures go to the error log.
//
// What keeps pictures safe beyond that:
// - an output is written under a hidden name and renamed into place only when complete, and
//   only when the source did not change while it was converted;
// - a source is deleted only once its output is in place; with the delete choice a failed
//   source is parked for the rest of the batch and gets its name back at the end;
// - two entries of one batch that map to one output name: the later one is not converted;
// - an output that would replace a file of the input folder itself is not written;
// - a file that is still being written (truncated, empty, or changed during the conversion)
//   is put off to a later pass while it keeps growing, and left to a later batch if it is
//   still growing when the batch's patience ends;
// - an entry that can be neither deleted nor parked is not tried again in the same batch.
// Settings from the process-wide values: the folders, the conversion options, g_nDelayTime
// and the error log's path.
BatchSettings CurrentBatchSettings(std::uint32_t backgroundArgb);

class BatchConverter {
  public:
    BatchConverter(CPictureOperations& operations, ConversionObserver& observer,
                   BatchSettings settings);

    // The watcher's batch: Busy, the delay, then the passes with settings.options.
    BatchSummary RunBatch();
    // The manual conversion: no delay; a message and nothing else when nothing is eligible;
    // the dialog's choices read, stored and checked; a box after every log entry.
    BatchSummary RunManual();

  private:
    enum class EntryOutcome { Converted, NotConverted, Deferred };
    enum class Incomplete { TryLater, Final, LeaveToLaterBatch };
    struct Attempt {
        bool saved = false;
        bool incomplete = false;
        bool timesPassed = false;
    };
    struct Deferral {
        std::optional<FileSignature> signature;
        int count = 0;
        int settleWaitsBefore = 0;  // settle waits done when the signature was taken
    };
    using SaveRoutine = int (CPictureOperations::*)(const std::string&, const Bitmap*);

    void Reset();
    std::vector<std::string> ListSourceFolder();
    void RunPassesAndTidy(std::vector<std::string> listing);
    void RunPass(const std::vector<std::string>& listing);
    bool IsPending(const std::string& entry) const;
    int CountPending(const std::vector<std::string>& listing) const;
    bool OnlyDeferredPending(const std::vector<std::string>& listing) const;
    EntryOutcome ConvertEntry(const std::string& entry, const std::string* nextEntry);
    Attempt AttemptConversion(DecodedSource source, const std::string& outputPath,
                              SaveRoutine routine);
    bool WouldReplaceInputFile(const std::string& entry, const std::string& outputName) const;
    bool CollidesInBatch(const std::string& entry, const std::string& outputName) const;
    Incomplete JudgeIncomplete(const std::string& entry, const std::string& sourcePath);
    void DisposeOfSource(const std::string& entry, bool saved);
    void TidySourceFolder();
    void Log(const std::string& text);
    void Wait(std::chrono::milliseconds duration);
    std::string NextTemporaryPath();
    std::string SourcePath(const std::string& entry) const;

    CPictureOperations& m_operations;
    ConversionObserver& m_observer;
    BatchSettings m_settings;
    ConversionOptions m_options;
    bool m_manual = false;
    bool m_sameFolder = false;
    BatchSummary m_summary;
    std::set<std::string> m_settled;                   // not to be tried again in this batch
    std::map<std::string, Deferral> m_deferrals;       // entry -> last time it was put off
    std::map<std::string, std::string> m_outputOwner;  // output name -> entry that made it
    std::vector<std::pair<std::string, std::string>> m_parkedFailures;  // parked, original
    int m_settleWaits = 0;
    unsigned m_temporaryCounter = 0;
    bool m_decodesAhead = false;
    DecodeAhead m_ahead;
};

}  // namespace fotoshuttle
