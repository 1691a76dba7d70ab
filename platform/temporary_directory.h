#pragma once

#include <string>

// A directory of the process's own under the system's temporary directory, and its removal.
// Any thread.
namespace gameshell::platform {

// A new, empty directory only this user may enter, named `prefix` and a random part, held as in
// use until this process ends; empty on failure.
std::string MakeTemporaryDirectory(const std::string& prefix);
// Removes the directories of `prefix` that this user's processes made and left behind (killed, or
// cut off by a power cut): those no living process holds, made more than a minute ago.
void RemoveAbandonedTemporaryDirectories(const std::string& prefix);
// The directory and everything in it; what cannot be removed stays, silently.
void RemoveDirectoryTree(const std::string& path);

}  // namespace gameshell::platform
