// A soak of the whole program inside one process: the real control dialog, its watcher thread
// on real inotify, the real engine and codecs, on Qt's offscreen platform. Pictures arrive in
// bursts while watching, mixed with damaged files and files still being written. Afterwards
// every good picture is in the output folder once, every damaged one logged and kept, no
// source lost, and memory and open files did not grow from burst to burst.
//
// FOTOSHUTTLE_SOAK_PICTURES (default 1000) and FOTOSHUTTLE_SOAK_BURST (default 50) set its
// length; a few hundred thousand pictures make a soak of hours.
#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/convert/ConversionTestSupport.h"
#include "tests/dialog/DialogFixture.h"
#include "tests/hardening/ProcessMemory.h"

namespace fotoshuttle::testing {
namespace {

int EnvironmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

bool TurnEventsUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class Soak : public DialogFixture {};

TEST_F(Soak, BurstsOfPicturesWhileWatchingLoseNothingAndLeakNothing) {
    const int total = EnvironmentNumber("FOTOSHUTTLE_SOAK_PICTURES", 1000);
    const int burst = EnvironmentNumber("FOTOSHUTTLE_SOAK_BURST", 50);
    const std::string logBefore = ReadFile(GetLogFilePath());

    // One sample per input format, written by our own encoders, copied in under new names.
    const char* extensions[] = {".jpg", ".png", ".gif", ".bmp", ".tif"};
    std::vector<std::string> samples;
    for (const char* extension : extensions) {
        const std::string path = m_folder / (std::string("sample") + extension);
        WritePicture(path, 48 + static_cast<int>(samples.size()) * 7, 36);
        samples.push_back(ReadFile(path));
    }
    std::set<std::string> good;     // output names expected
    std::set<std::string> damaged;  // sources expected to stay
    std::vector<std::uint64_t> resident;
    std::vector<int> openFiles;
    int sent = 0;
    for (int round = 0; sent < total; ++round) {
        std::set<std::string> waitingFor;
        const int count = std::min(burst, total - sent);
        for (int i = 0; i < count; ++i, ++sent) {
            const std::size_t kind = static_cast<std::size_t>(sent) % samples.size();
            const std::string stem = "p" + std::to_string(round) + "_" + std::to_string(i);
            if (sent % 20 == 7) {
                // Damaged: the start of a real picture, then rubbish.
                const std::string name = stem + extensions[kind];
                WriteFile(m_in + "/" + name, samples[kind].substr(0, 40) + std::string(300, 'Z'));
                damaged.insert(name);
            } else {
                WriteFile(m_in + "/" + stem + extensions[kind], samples[kind]);
                good.insert(stem + ".jpg");
                waitingFor.insert(stem + ".jpg");
            }
        }
        // One picture still being written, in pieces, while the batch runs.
        const std::string slowName = "slow" + std::to_string(round) + ".png";
        std::thread slowWriter([&, path = m_in + "/" + slowName] {
            const std::string& bytes = samples[1];
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (std::size_t at = 0; fd >= 0 && at < bytes.size(); at += 256) {
                if (::write(fd, bytes.data() + at, std::min<std::size_t>(256, bytes.size() - at)) <
                    0) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
            ::close(fd);
        });
        good.insert("slow" + std::to_string(round) + ".jpg");
        waitingFor.insert("slow" + std::to_string(round) + ".jpg");

        const bool settled = TurnEventsUntil(
            [&] {
                for (const std::string& name : waitingFor) {
                    if (!Exists(m_out + "/" + name)) {
                        return false;
                    }
                }
                std::set<std::string> left;
                for (const std::string& name : AllNames(m_in)) {
                    left.insert(name);
                }
                return left == damaged &&
                       m_dialog->controlState() == CMenuDlg::ControlState::Watching;
            },
            std::chrono::seconds(UnderSanitizer() ? 240 : 90));
        slowWriter.join();
        ASSERT_TRUE(settled) << "burst " << round << " was not converted in time";
        resident.push_back(ResidentBytes());
        openFiles.push_back(OpenFileCount());
    }

    // Every good picture once in the output folder, nothing else there.
    std::set<std::string> outputs;
    for (const std::string& name : AllNames(m_out)) {
        outputs.insert(name);
    }
    EXPECT_EQ(outputs, good);
    for (const std::string& name : good) {
        ASSERT_NE(PictureSize(m_out + "/" + name), (std::pair{0, 0})) << name;
    }
    // Every damaged file kept and logged.
    const std::string log = ReadFile(GetLogFilePath()).substr(logBefore.size());
    for (const std::string& name : damaged) {
        EXPECT_TRUE(Exists(m_in + "/" + name)) << name;
        const std::string line =
            m_out + "/" + name.substr(0, name.rfind('.')) + ".jpg" + "は変換できませんでした。\r\n";
        EXPECT_NE(log.find(line), std::string::npos) << name;
    }
    // Memory and open files flat from burst to burst: the last quarter against the first
    // after two warm-up bursts.
    const std::size_t n = resident.size();
    if (n >= 8) {
        const std::uint64_t early = resident[2];
        const std::uint64_t late = resident[n - 1];
        const long long growthKiB =
            (static_cast<long long>(late) - static_cast<long long>(early)) / 1024;
        std::printf(
            "[ soak     ] %d pictures (%zu good, %zu damaged) in %zu bursts; resident "
            "%llu MiB after burst 3, %llu MiB at the end; open files %d -> %d\n",
            sent, good.size(), damaged.size(), n, static_cast<unsigned long long>(early >> 20),
            static_cast<unsigned long long>(late >> 20), openFiles[2], openFiles[n - 1]);
        if (!UnderSanitizer()) {
            EXPECT_LT(growthKiB, 16 * 1024) << "resident size grew by " << growthKiB << " KiB";
        }
        EXPECT_LE(openFiles[n - 1], openFiles[2]);
    }
    for (const std::string& name : damaged) {
        ::unlink((m_in + "/" + name).c_str());
    }
}

}  // namespace
}  // namespace fotoshuttle::testing
