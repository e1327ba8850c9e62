// File names as the administrators type them.
//
// The files of the application were made on a platform whose file names ignore letter case,
// and the tool upper-cases the names it is given; on a file system that distinguishes case,
// a name is therefore looked up ignoring case before it counts as missing.
#pragma once

#include <optional>
#include <string>

namespace volmek {

// The regular file `path` names: `path` itself when it exists, otherwise the entry of its
// directory whose name equals its last component ignoring ASCII letter case (the first such
// entry in byte order, should there be several). nullopt when there is none, or when the name
// is a directory.
std::optional<std::string> FindFileIgnoringCase(const std::string& path);

}  // namespace volmek
