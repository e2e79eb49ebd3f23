#pragma once

#include <string>

namespace fotoshuttle {

// Full path of the running executable as the kernel reports it; empty if it cannot be read.
std::string ExecutablePath();

// The executable's file name without folder and extension ("fotoshuttle").
std::string ExecutableName();

// The folder that holds the executable, without a trailing "/".
std::string ExecutableFolder();

// The process's current directory; empty if it cannot be read (it was deleted, say).
std::string CurrentDirectory();

// True when the process may run on more than one processor at once (its affinity mask).
bool MayRunOnMoreThanOneProcessor();

}  // namespace fotoshuttle
