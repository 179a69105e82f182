// The pipeway tool run as a process against a temporary copy of the sample stack: the fixture
// and the checks of what a run printed.
#pragma once

#include "tests/support/child_process.h"
#include "tests/e2e/provider_fixture.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace pwtest {

// The search path the test program started with: other suites point "PATH" at the test DA
// modules, whose stand-ins must not shadow the sample stack's libraries in the tool's process.
inline const std::string g_startupPath = [] {
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string path(size, '\0');
    path.resize(size == 0 ? 0 : GetEnvironmentVariableA("PATH", path.data(), size));
    return path;
}();

class Pipeway : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("PATH", g_startupPath.c_str());
        // The tool keeps the events of its run in a file of its own, and shows them.
        SetEnvironmentVariableA("PIPEWAY_EVENTLOG", nullptr);
        std::filesystem::copy(ProgramFolder().parent_path() / "samples" / "stack",
                              m_stack.path() / "stack", std::filesystem::copy_options::recursive);
#if defined(_WIN32)
        // On Windows the machine's registry names the library folder.
        SetLibraryDirectory(Stack().string());
#endif
    }
    void TearDown() override {
#if defined(_WIN32)
        SetLibraryDirectory(std::nullopt);
#else
        SetEnvironmentVariableA("PIPEWAY_EVENTLOG", "/dev/null");
#endif
    }
    std::filesystem::path Stack() const {
        return m_stack.path() / "stack";
    }

    ProgramRun Pipe(const std::vector<std::string>& arguments) {
        return PipeIn(Stack(), arguments);
    }

    // The tool on a stack, each argument passed as it stands.
    ProgramRun PipeIn(const std::filesystem::path& stack,
                      const std::vector<std::string>& arguments) {
#if defined(_WIN32)
        const std::filesystem::path tool = ProgramFolder().parent_path() / "bin" / "pipeway.exe";
#else
        const std::filesystem::path tool = ProgramFolder().parent_path() / "bin" / "pipeway";
#endif
        std::vector<std::string> line = {"--stack", stack.string()};
        line.insert(line.end(), arguments.begin(), arguments.end());
        ProgramRun run = RunProgram(tool, line);
        EXPECT_EQ(run.error, "");
        return run;
    }

    TempDir m_stack;
};

// Arguments as one line, for a failure message.
inline std::string Words(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        line += line.empty() ? "" : " ";
        line += argument;
    }
    return line;
}

// The arguments `head`, then those of `tail`.
inline std::vector<std::string> Then(std::vector<std::string> head,
                                     const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The run's output holds each of `parts`.
inline void ExpectOutput(const ProgramRun& run, const std::vector<std::string>& parts) {
    for (const std::string& part : parts) {
        EXPECT_TRUE(Contains(run.output, part)) << part << " in:\n" << run.output;
    }
}

// The run ended with `status`, and its output holds each of `parts`.
inline void ExpectRun(const ProgramRun& run, int status,
                      const std::vector<std::string>& parts = {}) {
    EXPECT_EQ(run.status, status) << run.output;
    ExpectOutput(run, parts);
}

// The JSON object on the last line of a run's output that holds one; null when none parses.
inline nlohmann::json JsonLine(const std::string& output) {
    std::size_t end = output.size();
    while (end > 0) {
        const std::size_t start = output.rfind('\n', end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        const std::string line = output.substr(from, end - from);
        if (!line.empty() && line.front() == '{') {
            return nlohmann::json::parse(line, nullptr, false);
        }
        end = from == 0 ? 0 : from - 1;
    }
    return nullptr;
}

}  // namespace pwtest
