// The fault sweeps' fopen and open: the trace log's appends and the exclusion file's reading
// open their files here, and while faults of the kind PW_FAULT_FILE_OPEN are armed the
// platform's counter picks the open that fails, as one refused by the file system would.
#include <pw_fault.h>

#include <dlfcn.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
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

using OpenDescriptorFunction = int (*)(const char*, int, ...);

int OpenDescriptor(const char* name, const char* path, int flags, mode_t mode) {
    if (PwFaultCall(PW_FAULT_FILE_OPEN)) {
        errno = EACCES;
        return -1;
    }
    const auto real = reinterpret_cast<OpenDescriptorFunction>(dlsym(RTLD_NEXT, name));
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    return real(path, flags, mode);
}

// The mode argument of an open that may create its file.
mode_t ModeOf(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenDescriptor("open", path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeOf(flags, arguments);
    va_end(arguments);
    return OpenDescriptor("open64", path, flags, mode);
}

extern "C" FILE* fopen(const char* path, const char* mode) {
    return Open("fopen", path, mode);
}

// Where the C++ streams open their files.
extern "C" FILE* fopen64(const char* path, const char* mode) {
    return Open("fopen64", path, mode);
}
