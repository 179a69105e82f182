#include "tests/support/child_process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pwtest {
namespace {

std::string Failure(const std::filesystem::path& program, const char* what, int error) {
    return "cannot " + std::string(what) + " " + program.string() + ": " + std::strerror(error) +
           " (errno " + std::to_string(error) + ")";
}

// A file descriptor closed on every way out.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return m_fd; }
    void reset() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

  private:
    int m_fd;
};

// The file actions of one spawn, destroyed on every way out.
struct SpawnActions {
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    posix_spawn_file_actions_t actions;
};

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments) {
    ProgramRun run;
    int ends[2];
    // Close-on-exec, so that no other child started meanwhile holds the pipe open.
    if (pipe2(ends, O_CLOEXEC) != 0) {
        run.error = Failure(program, "make a pipe for", errno);
        return run;
    }
    Descriptor reader(ends[0]);
    Descriptor writer(ends[1]);

    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, writer.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, writer.get(), STDERR_FILENO);

    const std::string path = program.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t child = 0;
    // posix_spawn reports a failed exec as its own result.
    const int started =
        posix_spawn(&child, path.c_str(), &spawn.actions, nullptr, argv.data(), environ);
    writer.reset();
    if (started != 0) {
        run.error = Failure(program, "start", started);
        return run;
    }

    char buffer[4096];
    for (;;) {
        const ssize_t got = read(reader.get(), buffer, sizeof buffer);
        if (got > 0) {
            run.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }

    int status = 0;
    pid_t waited = 0;
    while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited < 0) {
        run.error = Failure(program, "wait for", errno);
    } else if (WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    } else {
        run.error = program.string() + " ended by signal " + std::to_string(WTERMSIG(status));
    }
    run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
    return run;
}

}  // namespace pwtest
