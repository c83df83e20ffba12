// Listings of folders kept for case-insensitive name resolution, so that resolving a name that
// does not exist with its exact spelling costs O(1) amortised instead of a read of the whole
// folder. A listing follows the folder through inotify (the layer's own changes and those of
// other processes alike) and is checked against the folder's device and inode at each use.
#pragma once

#include <optional>
#include <string>

namespace winlayer {

// The entry of `folder` whose name equals `name` without regard to ASCII case (the first in
// byte order when several do); nothing when there is none or the folder cannot be read.
std::optional<std::string> FindInFolderIgnoringCase(const std::string& folder,
                                                    const std::string& name);

}  // namespace winlayer
