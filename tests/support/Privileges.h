#pragma once

namespace fotoshuttle::testing {

// Tests run as root on CI, and root ignores permission bits. Dropping the capabilities that
// override them lets tests of read-only folders and files see what an ordinary user sees.
// Returns false if the capabilities could not be dropped.
bool DropPermissionOverride();

}  // namespace fotoshuttle::testing
