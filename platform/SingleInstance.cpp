#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>

namespace fotoshuttle {
namespace {

std::string SocketPath(const std::string& title) {
    return RuntimeFolder() + "/" + title;
}

}  // namespace

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return runtime;
    }
    std::string folder = "/tmp/fotoshuttle-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

InstanceLock::InstanceLock(const std::string& name) {
    std::string path = RuntimeFolder() + "/" + name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

InstanceMarker::InstanceMarker(const std::string& title) : m_title(title) {}

InstanceMarker::~InstanceMarker() = default;

bool InstanceMarker::Publish() {
    if (m_server && m_server->isListening()) {
        return true;
    }
    if (Exists(m_title)) {
        return false;
    }
    QString path = QString::fromStdString(SocketPath(m_title));
    // Nobody answers, so a socket file left there belongs to a process that died.
    QLocalServer::removeServer(path);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Callers only look whether we answer; drop each connection so none pile up.
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(),
                     [server = m_server.get()] {
                         while (QLocalSocket* peer = server->nextPendingConnection()) {
                             peer->abort();
                             peer->deleteLater();
                         }
                     });
    return m_server->listen(path);
}

bool InstanceMarker::Exists(const std::string& title) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(SocketPath(title)));
    bool answered = socket.waitForConnected(1000);
    socket.abort();
    return answered;
}

}  // namespace fotoshuttle
