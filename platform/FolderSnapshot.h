#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>

namespace fotoshuttle {

// What a folder held at one moment: the names directly in it with each file's size and
// modification time. Comparing two snapshots stands in for change notification where the
// kernel cannot report changes (folders shared over the network).
class FolderSnapshot {
  public:
    // Lists the folder; nullopt when it cannot be read.
    static std::optional<FolderSnapshot> Take(const std::string& folder);

    // True when this snapshot holds a name the earlier one did not, or a file whose size or
    // modification time differs. Names that went away do not count: removing a file is no
    // reason to convert, and a batch removes its sources itself.
    bool HasNewOrChangedEntries(const FolderSnapshot& earlier) const;

    std::size_t size() const { return m_entries.size(); }

  private:
    struct Stamp {
        bool isFolder = false;
        long long size = 0;
        std::timespec modified{};
    };
    static bool SameStamp(const Stamp& a, const Stamp& b);

    std::map<std::string, Stamp> m_entries;
};

}  // namespace fotoshuttle
