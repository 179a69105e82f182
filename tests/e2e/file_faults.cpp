// The fault sweeps' fopen: the trace log's appends and the exclusion file's reading open their
// files here, and while faults of the kind PW_FAULT_FILE_OPEN are armed the platform's counter
// picks the open that fails, as one refused by the file system would.
#include <pw_fault.h>

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>

namespace {

using OpenFunction = FILE* (*)(const char*, const char*);

FILE* Open(const char* name, const char* path, const char* mode) {
    if (PwFaultCall(PW_FAULT_FILE_OPEN)) {
        errno = EACCES;
        return nullptr;
    }
    // The next definition after this program's: the C library's (or a sanitizer's in front).
    const auto real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, name));
    if (real == nullptr) {
        errno = ENOSYS;
        return nullptr;
    }
    return real(path, mode);
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) {
    return Open("fopen", path, mode);
}

// Where the C++ streams open their files.
extern "C" FILE* fopen64(const char* path, const char* mode) {
    return Open("fopen64", path, mode);
}
