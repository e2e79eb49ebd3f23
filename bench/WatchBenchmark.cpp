// How fast a change reaches the watcher, and what the snapshot comparison used on network
// shares costs at each time-out.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/ChangeNotification.h"
#include "platform/FolderSnapshot.h"

namespace {

using namespace fotoshuttle;

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fotoshuttle-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

void Touch(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ::close(fd);
    }
}

// From creating a file to the return of the wait that sees it (the burst window included).
void BM_CreateToWake(benchmark::State& state) {
    ScratchFolder folder;
    auto notification = ChangeNotification::Arm(folder.path());
    if (!notification) {
        state.SkipWithError("cannot watch");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        Touch(folder.path() + "/f" + std::to_string(n++));
        if (notification->Wait(10000) != WaitResult::Changed) {
            state.SkipWithError("no wake-up");
            return;
        }
    }
}
BENCHMARK(BM_CreateToWake)->Unit(benchmark::kMillisecond);

// One snapshot and comparison, as done at each time-out on a share.
void BM_SnapshotCompare(benchmark::State& state) {
    ScratchFolder folder;
    for (int i = 0; i < state.range(0); ++i) {
        Touch(folder.path() + "/picture" + std::to_string(i) + ".jpg");
    }
    std::optional<FolderSnapshot> previous = FolderSnapshot::Take(folder.path());
    for (auto _ : state) {
        std::optional<FolderSnapshot> now = FolderSnapshot::Take(folder.path());
        benchmark::DoNotOptimize(now && now->HasNewOrChangedEntries(*previous));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SnapshotCompare)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
