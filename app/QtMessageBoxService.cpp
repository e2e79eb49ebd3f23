#include "app/QtMessageBoxService.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QThread>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/ProcessInfo.h"

namespace fotoshuttle {
namespace {

QMessageBox* MakeBox(const std::string& text, BoxButtons buttons) {
    // Also on stderr, so a session log keeps what an unattended program had to say.
    std::fprintf(stderr, "%s: %s\n", ExecutableName().c_str(), text.c_str());
    std::fflush(stderr);
    // A box of ours replaces any busy cursor, so the user sees that an answer is wanted.
    while (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
    auto* box = new QMessageBox();
    box->setWindowTitle(QString::fromStdString(ExecutableName()));
    box->setText(QString::fromStdString(text));
    if (buttons == BoxButtons::Ok) {
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Ok);
    } else {
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
    }
    return box;
}

// Only the caller waits for the answer; the program's other windows stay usable.
void ShowWithoutModality(QMessageBox* box) {
    box->setWindowModality(Qt::NonModal);
    box->show();
    box->raise();
    box->activateWindow();
}

BoxAnswer AnswerOf(int result, BoxButtons buttons) {
    if (buttons == BoxButtons::Ok) {
        return BoxAnswer::Ok;
    }
    return result == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

// Where the GUI thread leaves the answer for a waiting worker. Never answered means the
// program is ending; the worker then waits until the process is gone.
struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable answered;
    bool ready = false;
    BoxAnswer answer = BoxAnswer::Ok;
};

}  // namespace

BoxAnswer QtMessageBoxService::Show(const std::string& text, BoxButtons buttons) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
    }
    if (QThread::currentThread() == application->thread()) {
        // The caller waits in a loop of its own while the box is open; the box holds up no
        // other window, so the tray menu and the watcher's notices are still served.
        std::unique_ptr<QMessageBox> box(MakeBox(text, buttons));
        QEventLoop loop;
        int result = QMessageBox::NoButton;
        QObject::connect(box.get(), &QMessageBox::finished, &loop, [&](int answer) {
            result = answer;
            loop.quit();
        });
        ShowWithoutModality(box.get());
        loop.exec();
        return AnswerOf(result, buttons);
    }
    auto pending = std::make_shared<PendingAnswer>();
    QMetaObject::invokeMethod(
        application,
        [text, buttons, pending] {
            QMessageBox* box = MakeBox(text, buttons);
            box->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(box, &QMessageBox::finished, box, [buttons, pending](int result) {
                {
                    std::lock_guard lock(pending->mutex);
                    pending->answer = AnswerOf(result, buttons);
                    pending->ready = true;
                }
                pending->answered.notify_all();
            });
            ShowWithoutModality(box);
        },
        Qt::QueuedConnection);
    std::unique_lock lock(pending->mutex);
    pending->answered.wait(lock, [&] { return pending->ready; });
    return pending->answer;
}

}  // namespace fotoshuttle
