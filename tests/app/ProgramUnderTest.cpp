#include "tests/app/ProgramUnderTest.h"

#include <sys/stat.h>

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>
#include <filesystem>

namespace fotoshuttle::testing {

ProgramUnderTest::ProgramUnderTest() {
    for (const std::string& folder : {bin(), work(), in(), out(), runtime()}) {
        ::mkdir(folder.c_str(), 0700);
    }
    WriteFile(log(), "");
}

std::string ProgramUnderTest::Install(const std::string& exeName) const {
    std::string target = bin() + "/" + exeName;
    std::filesystem::copy_file(FOTOSHUTTLE_BINARY_DIR "/app/fotoshuttle", target,
                               std::filesystem::copy_options::overwrite_existing);
    ::chmod(target.c_str(), 0755);
    return target;
}

void ProgramUnderTest::WriteValidIni(const std::string& folder) const {
    WriteFile(folder + "/Fotoshuttle.ini", "[ProgramData]\nsrc_folder=" + in() + "\ndst_folder=" +
                                               out() + "\nduration=1000\ndelaytime=1000\n");
}

std::unique_ptr<QProcess> ProgramUnderTest::Start(const std::string& exePath,
                                                  const std::string& workingFolder,
                                                  const std::string& display) const {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime()));
    if (display.empty()) {
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    } else {
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("DISPLAY", QString::fromStdString(display));
    }
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(QString::fromStdString(workingFolder));
    process->start(QString::fromStdString(exePath), {});
    process->waitForStarted(10000);
    return process;
}

bool ProgramUnderTest::WaitForOutput(QProcess& process, const std::string& text, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    QByteArray seen;
    while (timer.elapsed() < timeoutMs) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
        if (seen.contains(QByteArray::fromStdString(text))) {
            return true;
        }
    }
    return false;
}

bool ProgramUnderTest::WaitForMarker(int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (Exists(runtime() + "/FOTOSHUTTLE_HIDE_DIALOG")) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

VirtualDisplay::VirtualDisplay() {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty()) {
        return;
    }
    // Xvfb picks a free display and writes its number on the given descriptor (stdout here).
    m_server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (!m_server.waitForStarted(10000)) {
        return;
    }
    QElapsedTimer timer;
    timer.start();
    QByteArray number;
    while (timer.elapsed() < 10000 && !number.contains('\n')) {
        m_server.waitForReadyRead(100);
        number += m_server.readAllStandardOutput();
    }
    if (number.contains('\n')) {
        m_display = ":" + number.trimmed().toStdString();
    }
}

VirtualDisplay::~VirtualDisplay() {
    m_server.terminate();
    m_server.waitForFinished(5000);
}

bool VirtualDisplay::PressReturnIn(const std::string& title, int timeoutMs) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", QString::fromStdString(m_display));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QProcess search;
        search.setProcessEnvironment(environment);
        search.start("xdotool", {"search", "--onlyvisible", "--name",
                                 QString::fromStdString("^" + title + "$")});
        search.waitForFinished(5000);
        QList<QByteArray> windows = search.readAllStandardOutput().trimmed().split('\n');
        if (!windows.isEmpty() && !windows.first().isEmpty()) {
            QProcess key;
            key.setProcessEnvironment(environment);
            key.start("xdotool", {"windowfocus", "--sync", QString::fromUtf8(windows.first()),
                                  "key", "Return"});
            key.waitForFinished(5000);
            return key.exitCode() == 0;
        }
        QThread::msleep(100);
    }
    return false;
}

}  // namespace fotoshuttle::testing
