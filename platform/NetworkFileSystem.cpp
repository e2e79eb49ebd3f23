#include "platform/NetworkFileSystem.h"

#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace fotoshuttle {
namespace {

// Super-block magic numbers of file systems whose content other machines can change.
constexpr std::array<std::uint32_t, 13> kSharedFileSystemTypes = {
    0x00006969,  // NFS
    0x0000517B,  // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x65735546,  // FUSE (sshfs, rclone, gvfs ...)
    0x01021997,  // 9P
    0x00C36400,  // Ceph
    0x5346414F,  // AFS
    0x6B414653,  // kAFS
    0x73757245,  // Coda
    0x0BD00BD0,  // Lustre
    0x01161970,  // GFS2
    0x7461636F,  // OCFS2
};

}  // namespace

bool IsOnNetworkFileSystem(const std::string& folder) {
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0) {
        return false;
    }
    const auto type = static_cast<std::uint32_t>(info.f_type);
    return std::find(kSharedFileSystemTypes.begin(), kSharedFileSystemTypes.end(), type) !=
           kSharedFileSystemTypes.end();
}

}  // namespace fotoshuttle
