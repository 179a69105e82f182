#include "fuzz/support/fuzz_support.h"

#include "pw/program_folder.h"

#include "authex/auth_exception.h"
#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"
#include "pw/resources.h"
#include "pw/stack_layout.h"
#include "tests/modules/test_da_control.h"
#include "log/trace_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace pwfuzz {

namespace fs = std::filesystem;

void Fail(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

fs::path ProgramFolder() {
    fs::path folder = pw::ProgramFolder();
    if (folder.empty()) {
        throw std::runtime_error("cannot find the fuzz program's folder");
    }
    return folder;
}

fs::path DAFolder() {
    return ProgramFolder().parent_path() / "tests" / "da" / "good";
}

void UseTestDAModules() {
    // The library folder is named in a registry file of the fuzz programs' own.
    if (!SetEnvironmentVariableA("PIPEWAY_REGISTRY",
                                 (ProgramFolder() / "registry.txt").string().c_str()) ||
        !pw::stack::SetLibraryFolder(DAFolder().string())) {
        throw std::runtime_error("cannot name the test DA modules' folder in the registry");
    }
}

void AttachCore() {
    TraceLogProcessAttach();
    pw::core::ProcessAttach();
}

void TraceToNull() {
    g_traceLogPath.Set("/dev/null");
}

void SilenceStandardOutput() {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

namespace {

// The targets keep their scratch roots until the process ends, without running destructors
// that would tear the provider down: the folders go at exit.
std::vector<fs::path>& ScratchFolders() {
    static auto* folders = new std::vector<fs::path>;
    return *folders;
}

void RemoveScratchFolders() {
    for (const fs::path& folder : ScratchFolders()) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
}

}  // namespace

ScratchRoot::ScratchRoot() {
    std::string pattern = (fs::temp_directory_path() / "pwfuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    m_path = pattern;
    if (ScratchFolders().empty()) {
        std::atexit(RemoveScratchFolders);
    }
    ScratchFolders().push_back(m_path);
    fs::create_directories(m_path / "svx" / "pipeway" / "bin");
    fs::create_directories(m_path / "svx" / "pipeway" / "log");
}

ScratchRoot::~ScratchRoot() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

fs::path ScratchRoot::ExclusionFile() const {
    return m_path / "svx" / "pipeway" / "bin" / "authexclusion.xml";
}

fs::path ScratchRoot::LogFile() const {
    return m_path / "svx" / "pipeway" / "log" / "WinPipeway.log";
}

void ScratchRoot::WriteExclusionFile(std::string_view content) const {
    WriteFile(ExclusionFile(), content);
}

void ScratchRoot::Report() const {
    HMODULE kordo = pw::stack::LoadStackLibrary("kordo64");  // stays loaded: bound for good
    if (kordo == nullptr) {
        throw std::runtime_error("kordo64 stand-in not found in the library folder");
    }
    FARPROC proc = GetProcAddress(kordo, "kordo64_testSetRoot");
    if (proc == nullptr) {
        throw std::runtime_error("kordo64 stand-in lacks kordo64_testSetRoot");
    }
    pw::ProcAs<void (*)(const char*)>(proc)(m_path.string().c_str());
}

void WriteFile(const fs::path& file, std::string_view content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

TestDA::TestDA(const std::string& name) {
    HMODULE module = pw::stack::LoadStackLibrary(name);  // stays loaded for the run
    if (module == nullptr) {
        throw std::runtime_error("test DA module not found: " + name);
    }
    FARPROC proc = GetProcAddress(module, (name + "_testControl").c_str());
    if (proc == nullptr) {
        throw std::runtime_error("not a test DA module: " + name);
    }
    m_control = pw::ProcAs<ControlFn>(proc);
    m_control(static_cast<int>(TestDARequest::kReset), nullptr);
}

void TestDA::Echo() const {
    m_control(static_cast<int>(TestDARequest::kSetEcho), nullptr);
}

void TestDA::Answer(const std::string& text) const {
    m_control(static_cast<int>(TestDARequest::kSetFixed), text.c_str());
}

long TestDA::Outstanding() const {
    return m_control(static_cast<int>(TestDARequest::kOutstanding), nullptr);
}

long TestDA::BadFrees() const {
    return m_control(static_cast<int>(TestDARequest::kBadFreeCount), nullptr);
}

std::string MaskAnswer(std::uint32_t mask) {
    return "<UserRights><UserRightsMask>" + std::to_string(mask) + "</UserRightsMask></UserRights>";
}

std::vector<std::string> Split(std::string_view data, char separator) {
    std::vector<std::string> pieces;
    for (;;) {
        const std::size_t end = data.find(separator);
        pieces.emplace_back(data.substr(0, end));
        if (end == std::string_view::npos) {
            return pieces;
        }
        data.remove_prefix(end + 1);
    }
}

const char* const kSamplePolicy =
    "<AUTHEXLIST>\n"
    "<USER>\n"
    "  <COMMAND name=\"setobject\"/>\n"
    "  <COMMAND name=\"getchildlist\">\n"
    "    <PARAM name=\"byobjtype=322\"/>\n"
    "    <PARAM name=\"objtype=2\"></PARAM>\n"
    "  </COMMAND>\n"
    "</USER>\n"
    "<POWERUSER><COMMAND name=\"setUploadVandryCertificate\"/></POWERUSER>\n"
    "<ADMIN><COMMAND name=\"resetcontroller\"/></ADMIN>\n"
    "</AUTHEXLIST>\n";

}  // namespace pwfuzz
