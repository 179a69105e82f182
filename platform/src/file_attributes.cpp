// The one question about a file that the system asks through the platform: whether something
// stands at a path, and whether it is a folder. Every such query is counted for the benchmarks.
#include <pw_counters.h>
#include <windows.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<unsigned long long> g_fileQueries{0};

}  // namespace

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    g_fileQueries.fetch_add(1, std::memory_order_relaxed);
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat status {};
    if (::stat(path, &status) != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                                         : ERROR_ACCESS_DENIED);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

unsigned long long WINAPI PwFileQueries(void) {
    return g_fileQueries.load(std::memory_order_relaxed);
}

}  // extern "C"
