// Where the server-management stack puts things, each spelled once: the library folder that
// the registry names, the install root that the common-services library reports, and the
// exclusion file and trace log under that root. The stack's own libraries (the DA modules,
// the rights and address modules, the common-services library) are loaded from the library
// folder by full path, and from nowhere else: the provider runs as the host's privileged
// identity, and a library found by a search of the program's folder, the current folder or
// "PATH" could be anyone's.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace pw::stack {

// The HKEY_LOCAL_MACHINE key and the REG_SZ value that name the stack's library folder.
inline constexpr char kLibraryKey[] = "SOFTWARE\\Halvern Computer Corporation\\Corvane\\Shared";
inline constexpr char kLibraryValue[] = "CorvaneLibPath";

// Appended as they stand to the install root (no separator added or removed).
inline constexpr char kExclusionFile[] = "/svx/pipeway/bin/authexclusion.xml";
inline constexpr char kTraceLogFile[] = "/svx/pipeway/log/WinPipeway.log";

#if defined(_WIN32)
inline constexpr char kLibraryExtension[] = ".dll";
#else
inline constexpr char kLibraryExtension[] = ".so";
#endif

// The library folder as the registry value holds it; nothing when the key or the value is
// missing, the value is not a string, or it is empty.
std::optional<std::string> LibraryFolder();

// Sets the registry value to `folder`; an empty `folder` removes it. False when the registry
// refuses. For the tools that point a process at a stack; the provider only reads the value.
bool SetLibraryFolder(const std::string& folder);

// The library folder when it is a full path, the only kind libraries are loaded from.
std::optional<std::string> UsableLibraryFolder();

// The full path of the stack library `name` in `folder`: the folder, a separator and the name
// with the library extension. Nothing when the folder is not an absolute path (a relative one
// would resolve against whatever the current folder is) or the name is not a plain file name.
std::optional<std::string> LibraryPathIn(const std::string& folder, const std::string& name);
// The same in the library folder; nothing also when there is none.
std::optional<std::string> LibraryPath(const std::string& name);

// Loads the library file at the full path `path` and nothing else, its own dependencies
// resolving from its folder and the system's. Null when it cannot, with the platform's last
// error set (ERROR_INVALID_PARAMETER for a path that is not a full one) and, in `why` when
// given, the loader's own words for it (see LoaderMessage), or this function's.
HMODULE LoadLibraryFile(const std::string& path, std::string* why = nullptr);
// Loads the stack library `name` from LibraryPath. Null when it cannot, with the platform's
// last error set, ERROR_MOD_NOT_FOUND (126) when there is no path to load from, and `why` as
// above.
HMODULE LoadStackLibrary(const std::string& name, std::string* why = nullptr);
// The loader's own words for the failure, with error code `error`, of this thread's last call
// to the loader (a load or an export lookup), asked right after it: on Windows the system's
// message for the code, on POSIX what the dynamic linker said ("libdep.so: cannot open shared
// object file: ..."). Empty when there are none.
std::string LoaderMessage(DWORD error);
// `text`, then the error code and `words`: "Unable to load the DA (error 126: WORDS)".
std::string WithLoaderMessage(const std::string& text, DWORD error, const std::string& words);

// The install root that the common-services library "kordo64" reports. The library is loaded
// (as above) and bound on the first call, and again on later calls until that succeeds; it
// stays loaded for the life of the process once bound. Nothing when it cannot be bound or
// reports no root.
std::optional<std::string> RootInstallPath();
// RootInstallPath, and when there is none, event 1004 reported: every caller is refused (the
// exclusion file cannot be found) and the trace log stays off.
std::optional<std::string> RootInstallPathOrReport();

}  // namespace pw::stack
