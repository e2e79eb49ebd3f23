#pragma once

#include <string>

namespace fotoshuttle {

// True when the folder lies on a file system shared with other machines (NFS, SMB/CIFS, FUSE
// mounts such as sshfs, and the like). inotify only reports changes made through this machine's
// kernel, so changes made on the other side of such a share go unseen.
bool IsOnNetworkFileSystem(const std::string& folder);

}  // namespace fotoshuttle
