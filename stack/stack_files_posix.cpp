#include "pw/stack_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pw::stack {

namespace {

// A descriptor closed on every way out unless handed on.
class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

  private:
    int m_fd;
};

bool IsRegular(int fd, struct stat& status) {
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
    FileContent file;
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        file.refusal = "cannot be opened";
        return file;
    }
    struct stat status {};
    if (!IsRegular(fd.get(), status)) {
        file.refusal = "is not a regular file";
        return file;
    }
    if (static_cast<unsigned long long>(status.st_size) > limit) {
        file.refusal = "is larger than " + std::to_string(limit) + " bytes";
        return file;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            file.refusal = "cannot be read";
            return file;
        }
        // The file may have grown since it was measured.
        if (content.size() + static_cast<std::size_t>(got) > limit) {
            file.refusal = "is larger than " + std::to_string(limit) + " bytes";
            return file;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    file.content = std::move(content);
    return file;
}

std::FILE* AppendToRegularFile(const std::string& path) {
    // No O_CREAT: a log that is not there stays off. O_NOFOLLOW: a link at the path is refused.
    Descriptor fd(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (fd.get() < 0 || !IsRegular(fd.get(), status)) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd.get(), "a");
    if (file != nullptr) {
        fd.release();
    }
    return file;
}

}  // namespace pw::stack
