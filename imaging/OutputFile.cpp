#include "imaging/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace fotoshuttle {

namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           static_cast<std::uint64_t>(::getpid())};
    char text[48];
    std::snprintf(text, sizeof text, ".%d-%u-%08llx.part", static_cast<int>(::getpid()),
                  counter.fetch_add(1), static_cast<unsigned long long>(generator() & 0xFFFFFFFFu));
    return text;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& targetPath) {
    Discard();
    m_failed = false;
    m_targetPath = targetPath;
    const auto slash = targetPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : targetPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
    if (name.empty()) {
        m_failed = true;
        return false;
    }
    // A long target name is shortened (at a character boundary) so the temporary name still
    // fits the 255-byte limit of a name.
    std::string stem = name.substr(0, 96);
    while (stem.size() < name.size() && !stem.empty() &&
           (static_cast<unsigned char>(name[stem.size()]) & 0xC0) == 0x80) {
        stem.pop_back();
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = folder + "." + stem + UniqueSuffix();
        // 0666 lets the umask decide, as for any file the user's programs create.
        int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_tempPath = std::move(candidate);
            m_buffer.reserve(kBufferBytes);
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    m_failed = true;
    return false;
}

bool OutputFile::Write(const void* data, std::size_t length) {
    if (m_failed || m_fd < 0) {
        m_failed = true;
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (length >= kBufferBytes) {
        if (!FlushBuffer() || !WriteAll(m_fd, bytes, length)) {
            m_failed = true;
            return false;
        }
        return true;
    }
    if (m_buffer.size() + length > kBufferBytes && !FlushBuffer()) {
        return false;
    }
    m_buffer.insert(m_buffer.end(), bytes, bytes + length);
    return true;
}

off_t OutputFile::Seek(off_t offset, int whence) {
    if (m_failed || m_fd < 0 || !FlushBuffer()) {
        return -1;
    }
    return ::lseek(m_fd, offset, whence);
}

ssize_t OutputFile::Read(void* data, std::size_t length) {
    if (m_failed || m_fd < 0 || !FlushBuffer()) {
        return -1;
    }
    return ::read(m_fd, data, length);
}

off_t OutputFile::Size() {
    struct stat info {};
    if (m_failed || m_fd < 0 || !FlushBuffer() || ::fstat(m_fd, &info) != 0) {
        return -1;
    }
    return info.st_size;
}

bool OutputFile::FlushBuffer() {
    if (m_failed) {
        return false;
    }
    if (!m_buffer.empty()) {
        if (!WriteAll(m_fd, m_buffer.data(), m_buffer.size())) {
            m_failed = true;
            return false;
        }
        m_buffer.clear();
    }
    return true;
}

bool OutputFile::Commit() {
    if (m_fd < 0 || m_failed || !FlushBuffer()) {
        Discard();
        return false;
    }
    // The data must be on the disk before the name is: the source may be deleted right after.
    bool ok = ::fsync(m_fd) == 0;
    ok = (::close(m_fd) == 0) && ok;
    m_fd = -1;
    if (!ok || ::rename(m_tempPath.c_str(), m_targetPath.c_str()) != 0) {
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void OutputFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    m_buffer.clear();
    m_failed = true;
}

}  // namespace fotoshuttle
