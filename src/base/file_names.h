// File names as the administrators type them.
//
// The files of the application were made on a platform whose file names ignore letter case,
// and the tool upper-cases the names it is given; on a file system that distinguishes case,
// a name is therefore looked up ignoring case before it counts as missing.
#pragma once

#include <optional>
#include <string>

namespace volmek {

// The regular file `path` names: `path` itself when it exists; otherwise the path whose every
// component equals the typed one ignoring ASCII letter case (directories as typed when they
// exist; among several matches the first in byte order). nullopt when there is none, or when
// the name is a directory.
std::optional<std::string> FindFileIgnoringCase(const std::string& path);

}  // namespace volmek
