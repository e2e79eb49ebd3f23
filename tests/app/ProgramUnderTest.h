#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <memory>
#include <string>

#include "tests/support/TempFolder.h"

namespace fotoshuttle::testing {

// A copy of the built program in a folder of its own, with input and output folders, a log
// beside it and a working folder for its INI file, started as a real process.
class ProgramUnderTest {
  public:
    ProgramUnderTest();

    std::string Install(const std::string& exeName = "fotoshuttle") const;
    std::string bin() const { return m_root / "bin"; }
    std::string work() const { return m_root / "work"; }
    std::string in() const { return m_root / "in"; }
    std::string out() const { return m_root / "out"; }
    std::string runtime() const { return m_root / "runtime"; }
    std::string log() const { return bin() + "/Fotoshuttle_log.txt"; }
    void WriteValidIni(const std::string& folder) const;

    // Starts exePath with the given working folder; display empty = Qt's offscreen platform.
    std::unique_ptr<QProcess> Start(const std::string& exePath, const std::string& workingFolder,
                                    const std::string& display = {}) const;

    // Waits until the process has printed a line containing text on stderr.
    static bool WaitForOutput(QProcess& process, const std::string& text, int timeoutMs);
    // Waits until the program's hidden window can be found.
    bool WaitForMarker(int timeoutMs) const;

  private:
    TempFolder m_root;
};

// An X server of its own for tests that must close a box as a user does.
class VirtualDisplay {
  public:
    VirtualDisplay();
    ~VirtualDisplay();
    bool running() const { return !m_display.empty(); }
    const std::string& display() const { return m_display; }
    // Presses Return in the visible window with exactly this title; false if none appears.
    bool PressReturnIn(const std::string& title, int timeoutMs) const;

  private:
    QProcess m_server;
    std::string m_display;
};

}  // namespace fotoshuttle::testing
