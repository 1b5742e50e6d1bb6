// Finding a shared library by its bare file name ourselves. The dynamic
// loader's own search takes an empty or relative entry of LD_LIBRARY_PATH
// as the working directory, so that a library put into the folder a tool
// runs in would be loaded (and run as root).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kx::platform {

// The first `folder/name` that is a regular file (links followed), looking
// in the absolute entries of `ldLibraryPath` (colon-separated; empty and
// relative entries are passed over) and then in `systemFolders`. `tried`,
// when given, receives the folders looked in, in order.
std::optional<std::string> FindSharedLibrary(const std::string& name,
                                             const std::string& ldLibraryPath,
                                             const std::vector<std::string>& systemFolders,
                                             std::vector<std::string>* tried = nullptr);

// The absolute folders that the loader configuration `confPath` names
// (ld.so.conf: one or more folders a line, '#' comments, "include" lines
// with patterns relative to the file's folder), in order.
std::vector<std::string> LibraryFoldersFromConf(const std::string& confPath);

// The system's library folders: those of /etc/ld.so.conf, then the loader's
// built-in ones (/lib64, /usr/lib64, /lib, /usr/lib), each once.
std::vector<std::string> SystemLibraryFolders();

}  // namespace kx::platform
