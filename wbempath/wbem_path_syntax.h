// The syntax of object paths: what a path text holds, and what GetInfo says of it.
#pragma once

#include "wbempath/wbem_path_values.h"

#include <string>
#include <string_view>
#include <vector>

namespace pwwbempath {

struct PathKey {
    std::wstring name;  // empty for the implied key of "Class=value"
    KeyValue value;
};

struct PathData {
    bool hasServer = false;
    std::wstring server;
    bool hasNamespace = false;
    std::wstring className;
    std::vector<PathKey> keys;
    bool singleton = false;
};

// Parses an object path (`mode` as SetText's); false for a text that is not one. The empty
// text is the empty path.
bool Parse(std::wstring_view text, ULONG mode, PathData& path);

// The WBEMPATH_INFO_* flags that describe the path.
ULONGLONG PathInfo(const PathData& path);

}  // namespace pwwbempath
