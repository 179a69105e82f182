// Shared pieces of the fuzz targets: a scratch install root, the test DA modules of the build
// tree, the library's attach notifications, and checks that end the run as a crash.
#pragma once

#include "pw/resources.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pwfuzz {

// Stops the run with a report; libFuzzer keeps the input that got here.
[[noreturn]] void Fail(const char* file, int line, const char* condition);

#define PW_FUZZ_CHECK(condition)                            \
    do {                                                    \
        if (!(condition)) {                                 \
            ::pwfuzz::Fail(__FILE__, __LINE__, #condition); \
        }                                                   \
    } while (false)

// The folder of the running fuzz program (<build>/fuzz).
std::filesystem::path ProgramFolder();
// <build>/tests/da/good: the test DA modules and the common-services stand-in "kordo64".
std::filesystem::path DAFolder();
// Makes "PATH" the good test DA modules' folder, so that bare module names are found there.
void UseTestDAModules();

// The process attach notifications of the command core, the exclusion store and the trace
// log, for targets that use the core without the provider library.
void AttachCore();

// Points the trace log at /dev/null: every message is still formatted (with the fuzzed text in
// it), then dropped, since the log is appended only to a regular file; nothing accumulates.
void TraceToNull();

// The parser and scanner report syntax errors and copy bytes that no rule takes to standard
// output; a fuzz run would drown in them.
void SilenceStandardOutput();

// A fresh folder under the system's temporary folder with the install root's layout
// (svx/pipeway/bin, svx/pipeway/log). It lives as long as the process.
class ScratchRoot : private pw::NoCopy {
  public:
    ScratchRoot();
    ~ScratchRoot();

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path ExclusionFile() const;
    std::filesystem::path LogFile() const;
    void WriteExclusionFile(std::string_view content) const;
    // Makes the common-services stand-in report this root (needs UseTestDAModules).
    void Report() const;

  private:
    std::filesystem::path m_path;
};

void WriteFile(const std::filesystem::path& file, std::string_view content);

// The control export of one test DA module, which stays loaded for the whole run.
class TestDA {
  public:
    explicit TestDA(const std::string& name);
    void Echo() const;
    void Answer(const std::string& text) const;
    long Outstanding() const;
    long BadFrees() const;

  private:
    using ControlFn = long (*)(int request, const char* text);
    ControlFn m_control = nullptr;
};

// The rights module's answer for a user-rights mask.
std::string MaskAnswer(std::uint32_t mask);

// Splits fuzz input into pieces at every `separator` byte (empty pieces kept).
std::vector<std::string> Split(std::string_view data, char separator);

// An exclusion policy with entries of every kind, for targets that only need a real one.
extern const char* const kSamplePolicy;

}  // namespace pwfuzz
