// A batch that reads the next picture on a second thread while it saves the current one: the
// results are those of a batch that reads one picture at a time, and everything that changes
// a file still happens on the batch's own thread, in list order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include "platform/ProcessInfo.h"
#include "tests/convert/BatchConversionFixture.h"

namespace fotoshuttle::testing {
namespace {

using Names = std::vector<std::string>;

// The sources of one batch: pictures told apart by their widths (100 + their place in the
// list), a file that is no picture between them, and two pictures that map to one output.
void WriteMixedSources(const std::string& folder) {
    WritePicture(folder + "/a.jpg", 100, 40);
    WritePicture(folder + "/b.jpg", 101, 40);
    WriteFile(folder + "/c.jpg", "not a picture");
    WritePicture(folder + "/d.bmp", 103, 40);
    WritePicture(folder + "/d.jpg", 104, 40);
    WritePicture(folder + "/e.jpg", 105, 40);
}

// The real operations, noting on which thread each picture was read and saved, in what order.
class ObservedOperations : public CPictureOperations {
  public:
    struct Event {
        std::string what;  // "load-begin", "load-end", "save"
        int width = 0;     // of the picture saved
        std::string path;  // of the file loaded
        std::thread::id thread;
    };

    BitmapHandle LoadPictureFile(const std::string& path) override {
        Note({"load-begin", 0, path, std::this_thread::get_id()});
        BitmapHandle picture = CPictureOperations::LoadPictureFile(path);
        Note({"load-end", 0, path, std::this_thread::get_id()});
        return picture;
    }
    int SaveAsTiff(const std::string& path, const Bitmap* bitmap) override {
        Note({"save", bitmap != nullptr ? bitmap->width : 0, path, std::this_thread::get_id()});
        return CPictureOperations::SaveAsTiff(path, bitmap);
    }
    int LoadsOnOtherThreads() {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count_if(m_events.begin(), m_events.end(), [](const Event& e) {
            return e.what == "load-begin" && e.thread != std::this_thread::get_id();
        }));
    }
    std::vector<Event> Events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

  private:
    void Note(Event event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    std::mutex m_mutex;
    std::vector<Event> m_events;
};

TEST_F(BatchConversionFixture, ReadingAheadGivesTheFilesAndLogOfReadingOneAtATime) {
    for (const char* after : {"del", "nodel"}) {
        SCOPED_TRACE(after);
        std::map<bool, std::map<std::string, std::string>> outputs;
        std::map<bool, std::string> logs;
        std::map<bool, Names> sourcesLeft;
        for (bool ahead : {false, true}) {
            const std::string root = m_root / (std::string(after) + (ahead ? "-ahead" : "-one"));
            BatchSettings settings = Settings(Options(".tif", after));
            settings.sourceFolder = root + "/in";
            settings.outputFolder = root + "/out";
            settings.logPath = root + "/log.txt";
            settings.decodeAhead = ahead;
            std::filesystem::create_directories(settings.sourceFolder);
            std::filesystem::create_directories(settings.outputFolder);
            WriteFile(settings.logPath, "");
            WriteMixedSources(settings.sourceFolder);

            BatchConverter(m_operations, m_observer, settings).RunBatch();

            for (const std::string& name : AllNames(settings.outputFolder)) {
                outputs[ahead][name] = ReadFile(settings.outputFolder + "/" + name);
            }
            logs[ahead] = ReadFile(settings.logPath);
            logs[ahead] = std::regex_replace(logs[ahead], std::regex(root), "ROOT");
            sourcesLeft[ahead] = AllNames(settings.sourceFolder);
        }
        EXPECT_EQ(outputs[true], outputs[false]);
        EXPECT_EQ(logs[true], logs[false]);
        EXPECT_EQ(sourcesLeft[true], sourcesLeft[false]);
        EXPECT_EQ(logs[true],
                  "ROOT/out/c.tifは変換できませんでした。\r\n"
                  "ROOT/out/d.tifは変換できませんでした。\r\n");
    }
}

TEST_F(BatchConversionFixture, ReadingAheadLeavesSavingToTheBatchThreadInListOrder) {
    if (!MayRunOnMoreThanOneProcessor()) {
        GTEST_SKIP() << "this process may use one processor only, so nothing is read ahead";
    }
    WriteMixedSources(m_in);
    ObservedOperations operations;

    RunBatch(Options(".tif"), operations);

    const std::vector<ObservedOperations::Event> events = operations.Events();
    std::vector<int> savedWidths;
    for (const ObservedOperations::Event& event : events) {
        if (event.what == "save") {
            EXPECT_EQ(event.thread, std::this_thread::get_id());
            savedWidths.push_back(event.width);
        }
    }
    // d.bmp comes before d.jpg and makes d.tif; d.jpg is then not converted and not saved.
    EXPECT_EQ(savedWidths, (std::vector{100, 101, 103, 105}));
    EXPECT_GT(operations.LoadsOnOtherThreads(), 0);
    // At most one picture is read ahead: reads never overlap, and a picture is read only when
    // every picture two or more places before it that is saved at all has been saved.
    const Names order{"a.jpg", "b.jpg", "c.jpg", "d.bmp", "d.jpg", "e.jpg"};
    const std::map<int, int> placeOfWidth{{100, 0}, {101, 1}, {103, 3}, {105, 5}};
    int savedUpTo = -1;
    bool reading = false;
    for (const ObservedOperations::Event& event : events) {
        if (event.what == "save") {
            savedUpTo = placeOfWidth.at(event.width);
        } else if (event.what == "load-begin") {
            EXPECT_FALSE(reading) << event.path;
            reading = true;
            const auto place = std::find(order.begin(), order.end(),
                                         std::filesystem::path(event.path).filename()) -
                               order.begin();
            for (const auto& [width, savedPlace] : placeOfWidth) {
                if (savedPlace <= place - 2) {
                    EXPECT_GE(savedUpTo, savedPlace) << event.path;
                }
            }
        } else {
            reading = false;
        }
    }
}

// Two pictures at once would need more than three pictures' memory: saving a PNG, or reading
// anything but a JPEG.
TEST_F(BatchConversionFixture, NothingIsReadAheadWhereTwoPicturesWouldNotFitInMemory) {
    struct Case {
        const char* input;
        const char* output;
    };
    for (const Case& c : {Case{".jpg", ".png"}, Case{".png", ".tif"}, Case{".bmp", ".tif"}}) {
        SCOPED_TRACE(std::string(c.input) + " to " + c.output);
        for (const char* stem : {"a", "b", "c"}) {
            WritePicture(In(stem + std::string(c.input)), 60, 40);
        }
        ObservedOperations operations;

        EXPECT_EQ(RunBatch(Options(c.output), operations).converted, 3);

        EXPECT_EQ(operations.LoadsOnOtherThreads(), 0);
    }
}

// Another program replaces a picture after the batch has read it ahead and before its turn:
// the batch notices, reads it again and converts what is there now.
class OperationsReplacingTheNextPicture : public CPictureOperations {
  public:
    explicit OperationsReplacingTheNextPicture(std::string next) : m_next(std::move(next)) {}
    BitmapHandle LoadPictureFile(const std::string& path) override {
        BitmapHandle picture = CPictureOperations::LoadPictureFile(path);
        if (path == m_next) {
            m_nextRead = true;
        }
        return picture;
    }
    int SaveAsBmp(const std::string& path, const Bitmap* bitmap) override {
        if (!m_replaced) {
            m_replaced = true;
            // Wait (a bounded time) for the read ahead, so the replacement comes after it.
            for (int i = 0; i < 1000 && !m_nextRead && MayRunOnMoreThanOneProcessor(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            WritePicture(m_next, 77, 33);
        }
        return CPictureOperations::SaveAsBmp(path, bitmap);
    }

  private:
    std::string m_next;
    std::atomic<bool> m_nextRead{false};
    bool m_replaced = false;
};

TEST_F(BatchConversionFixture, APictureReplacedAfterItWasReadAheadIsConvertedFromItsNewContent) {
    WritePicture(In("a.jpg"), 64, 48);
    WritePicture(In("b.jpg"), 50, 50);
    OperationsReplacingTheNextPicture operations(In("b.jpg"));

    BatchSummary summary = RunBatch(Options(".bmp"), operations);

    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(PictureSize(Out("a.bmp")), std::pair(64, 48));
    EXPECT_EQ(PictureSize(Out("b.bmp")), std::pair(77, 33));
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(AllNames(m_in).empty());
}

}  // namespace
}  // namespace fotoshuttle::testing
