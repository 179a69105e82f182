// Shared pieces of the test suites: temporary folders, the trace log as a real file, the test
// DA module folders, and the library's process attach/detach around every test program.
#pragma once

#include "tests/modules/test_da_control.h"

#include <windows.h>

#include "pw/resources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace pwtest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir : private pw::NoCopy {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& content);

// The folder of the running test program.
std::filesystem::path ProgramFolder();
// The folder of one variant of the test DA modules ("good", "nofree", "nosend").
std::filesystem::path DAFolder(const std::string& variant);
// Makes "PATH" exactly these folders, for the library search.
void SetSearchPath(const std::vector<std::filesystem::path>& folders);
// Makes `folder` the stack's library folder, the only one the provider loads the stack's
// libraries from: the registry value names it (on POSIX in the registry file that
// "PIPEWAY_REGISTRY" names, or in one of the test program's own when that is not set or
// its folder is gone). An empty `folder` removes the value.
void UseLibraryFolder(const std::filesystem::path& folder);

// Whether a library of that bare name is loaded in the process.
bool IsModuleLoaded(const std::string& name);

// The control export of a test DA module in the library folder, reached through a reference of
// the test's own.
class TestDA : private pw::NoCopy {
  public:
    explicit TestDA(const std::string& name);
    ~TestDA();

    void Echo() { Ask(TestDARequest::kSetEcho); }
    void AnswerNull() { Ask(TestDARequest::kSetNull); }
    void Answer(const std::string& text) { Ask(TestDARequest::kSetFixed, text.c_str()); }
    long SendCount() { return Ask(TestDARequest::kSendCount); }
    long FreeCount() { return Ask(TestDARequest::kFreeCount); }
    long BadFreeCount() { return Ask(TestDARequest::kBadFreeCount); }
    long Outstanding() { return Ask(TestDARequest::kOutstanding); }
    long ImpersonatingCalls() { return Ask(TestDARequest::kImpersonatingCalls); }
    bool LoadedImpersonating() { return Ask(TestDARequest::kLoadedImpersonating) == 1; }
    // The tokens of the module's last call.
    std::vector<std::string> LastArgs();
    // With the gate closed, sendCmd calls wait inside the module until it opens.
    void CloseGate() { Ask(TestDARequest::kCloseGate); }
    void OpenGate() { Ask(TestDARequest::kOpenGate); }
    // Waits, without a time limit, until a call waits at the gate (a call that never comes is
    // the test's timeout); returns the calls waiting there.
    long WaitForCallAtGate() { return Ask(TestDARequest::kWaiting); }
    // `hook` is called when the module is unloaded (once nothing else holds it).
    void OnUnload(const TestDAUnloadHook& hook) {
        Ask(TestDARequest::kOnUnload, reinterpret_cast<const char*>(&hook));
    }

  private:
    long Ask(TestDARequest request, const char* text = nullptr) {
        return m_control(static_cast<int>(request), text);
    }

    pw::UniqueLibrary m_module;
    TestDAControlFn m_control;
};

// A temporary install root that the common-services stand-in "kordo64" of the library folder
// reports while the object lives; the exclusion file lies under it at
// svx/pipeway/bin/authexclusion.xml.
class InstallRoot : private pw::NoCopy {
  public:
    InstallRoot();
    ~InstallRoot();

    const std::filesystem::path& path() const { return m_dir.path(); }
    std::filesystem::path ExclusionFile() const;
    void WriteExclusionFile(const std::string& content);
    // Makes "kordo64" report no root at all.
    void ReportNone();
    // Roots handed out by "kordo64" and not given back.
    long OutstandingRoots();
    // How often the root was asked for, in all and while impersonating a client.
    long RootCalls();
    long ImpersonatingRootCalls();

  private:
    TempDir m_dir;
    pw::UniqueLibrary m_kordo;
};

// Reads the entries of a trace log file.
class TraceFile {
  public:
    explicit TraceFile(std::filesystem::path file) : m_file(std::move(file)) {}
    const std::filesystem::path& file() const { return m_file; }
    // Everything logged so far, text-mode line ends read back as "\n".
    std::string Text() const;
    // The messages of the entries so far, prefixes removed.
    std::vector<std::string> Messages() const;
    // Whether some entry's message is exactly this text.
    bool Has(const std::string& message) const;
    // How many entries' messages contain this text.
    int Count(const std::string& fragment) const;

  private:
    std::filesystem::path m_file;
};

// The first place where a trace log text stops being a run of whole entries, or "" when it
// is one. Whole: the text is empty or starts with an entry; every entry has a non-empty
// message; and every entry starts at a line start, right after the trailing blank of a message
// that ends with "\n " (the exclusion store's verdicts), or right after one of the system's
// messages that carry no line end of their own and run on into the next entry.
std::string BrokenTraceEntry(const std::string& text);

// Points the trace log at a real file in a temporary folder for the life of the object, and
// reads it.
class TraceCapture : private TempDir, public TraceFile {
  public:
    TraceCapture();
    ~TraceCapture();
};

// Names the cases of a table-driven test after their `what` member.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& testCase) const {
        return testCase.param.what;
    }
};

// Splits a text at "\n".
std::vector<std::string> Lines(const std::string& text);

}  // namespace pwtest
