#pragma once

#include <string>
#include <vector>

namespace fotoshuttle {

// What a folder list shows and a conversion works through: every regular file that is neither
// hidden (name begins with ".") nor read-only (owner has no write bit), by name, and every
// subfolder as "[name]". Symbolic links count as what they point to; anything else (devices,
// sockets, dangling links) is left out. Sorted case-insensitively (ASCII letters), ties in
// byte order, like a sorted list box. A folder that cannot be read gives an empty listing.
std::vector<std::string> ListFolder(const std::string& folder);

// The order of the listing: true when a sorts before b.
bool ListBoxOrder(const std::string& a, const std::string& b);

}  // namespace fotoshuttle
