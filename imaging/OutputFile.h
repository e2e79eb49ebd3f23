#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fotoshuttle {

// A file written under a hidden temporary name (".<name>.<random>.part") in the target's
// folder and renamed over the target only by Commit(), after every byte was written, flushed
// to the disk and closed without error. Whoever reads the folder sees either the old target
// or the complete new one. If Commit() is not reached or fails, the temporary file is removed
// and an existing target stays as it was.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file beside targetPath. False when the folder is missing or not
    // writable.
    bool Open(const std::string& targetPath);

    // Appends at the current position (buffered). False once anything has failed.
    bool Write(const void* data, std::size_t length);
    // For encoders that go back to patch headers (libtiff). Return -1 on failure.
    off_t Seek(off_t offset, int whence);
    ssize_t Read(void* data, std::size_t length);
    off_t Size();

    // Marks the file as failed, e.g. when the encoder reported an error.
    void Fail() { m_failed = true; }
    bool Failed() const { return m_failed; }

    // Flushes, syncs, closes and renames over the target. False (and the temporary file
    // removed) on any failure, including an earlier one.
    bool Commit();

    const std::string& TemporaryPath() const { return m_tempPath; }

  private:
    bool FlushBuffer();
    void Discard();

    std::string m_targetPath;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_failed = false;
    std::vector<std::uint8_t> m_buffer;
};

}  // namespace fotoshuttle
