#include "tests/support/test_support.h"

#include "pw/program_folder.h"
#include "pw/stack_layout.h"

#include "authex/auth_exception.h"
#include "core/lifecycle.h"
#include "core/pipeway_provider_impl.h"
#include "log/trace_log.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#if !defined(_WIN32)
#include <link.h>
#endif
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace pwtest {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("pwtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

fs::path ProgramFolder() {
    fs::path folder = pw::ProgramFolder();
    if (folder.empty()) {
        throw std::runtime_error("cannot find the test program's folder");
    }
    return folder;
}

fs::path DAFolder(const std::string& variant) {
    return ProgramFolder() / "da" / variant;
}

void SetSearchPath(const std::vector<fs::path>& folders) {
    std::string path;
    for (const fs::path& folder : folders) {
        if (!path.empty()) {
            path += ';';
        }
        path += folder.string();
    }
    if (!SetEnvironmentVariableA("PATH", path.c_str())) {
        throw std::runtime_error("cannot set PATH");
    }
}

void UseLibraryFolder(const fs::path& folder) {
#if !defined(_WIN32)
    const char* registry = std::getenv("PIPEWAY_REGISTRY");
    std::error_code error;
    if (registry == nullptr || !fs::is_directory(fs::path(registry).parent_path(), error)) {
        static const TempDir own;
        SetEnvironmentVariableA("PIPEWAY_REGISTRY", (own.path() / "registry.txt").string().c_str());
    }
#endif
    if (!pw::stack::SetLibraryFolder(folder.string())) {
        throw std::runtime_error("cannot set the library folder " + folder.string());
    }
}

#if defined(_WIN32)
bool IsModuleLoaded(const std::string& name) {
    return GetModuleHandleA(name.c_str()) != nullptr;
}
#else
bool IsModuleLoaded(const std::string& name) {
    struct Search {
        std::string file;
        bool found;
    } search{"/" + name + ".so", false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const std::string path = info->dlpi_name == nullptr ? "" : info->dlpi_name;
            if (path.size() >= s->file.size() &&
                path.compare(path.size() - s->file.size(), s->file.size(), s->file) == 0) {
                s->found = true;
            }
            return 0;
        },
        &search);
    return search.found;
}
#endif

TestDA::TestDA(const std::string& name)
    : m_module(pw::stack::LoadStackLibrary(name)), m_control(nullptr) {
    if (!m_module) {
        throw std::runtime_error("test DA module not found: " + name);
    }
    FARPROC proc = GetProcAddress(m_module.get(), (name + "_testControl").c_str());
    if (proc == nullptr) {
        throw std::runtime_error("not a test DA module: " + name);
    }
    m_control = pw::ProcAs<TestDAControlFn>(proc);
    m_control(static_cast<int>(TestDARequest::kReset), nullptr);
}

TestDA::~TestDA() = default;

std::vector<std::string> TestDA::LastArgs() {
    std::vector<char> buffer(kLastArgsBufferSize);
    m_control(static_cast<int>(TestDARequest::kLastArgs), buffer.data());
    const std::string text = buffer.data();
    return text.empty() ? std::vector<std::string>() : Lines(text);
}

namespace {

template <typename Function>
Function KordoEntry(HMODULE kordo, const char* name) {
    FARPROC proc = GetProcAddress(kordo, name);
    if (proc == nullptr) {
        throw std::runtime_error(std::string("kordo64 stand-in lacks ") + name);
    }
    return pw::ProcAs<Function>(proc);
}

}  // namespace

InstallRoot::InstallRoot() : m_kordo(pw::stack::LoadStackLibrary("kordo64")) {
    if (!m_kordo) {
        throw std::runtime_error("kordo64 stand-in not found in the library folder");
    }
    fs::create_directories(m_dir.path() / "svx" / "pipeway" / "bin");
    fs::create_directories(m_dir.path() / "svx" / "pipeway" / "log");
    KordoEntry<void (*)(const char*)>(m_kordo.get(),
                                      "kordo64_testSetRoot")(m_dir.path().string().c_str());
}

InstallRoot::~InstallRoot() {
    KordoEntry<void (*)(const char*)>(m_kordo.get(), "kordo64_testSetRoot")(nullptr);
}

fs::path InstallRoot::ExclusionFile() const {
    return m_dir.path() / "svx" / "pipeway" / "bin" / "authexclusion.xml";
}

void InstallRoot::WriteExclusionFile(const std::string& content) {
    WriteFile(ExclusionFile(), content);
}

void InstallRoot::ReportNone() {
    KordoEntry<void (*)(const char*)>(m_kordo.get(), "kordo64_testSetRoot")(nullptr);
}

long InstallRoot::RootCalls() {
    return KordoEntry<long (*)()>(m_kordo.get(), "kordo64_testCalls")();
}

long InstallRoot::ImpersonatingRootCalls() {
    return KordoEntry<long (*)()>(m_kordo.get(), "kordo64_testImpersonatingCalls")();
}

long InstallRoot::OutstandingRoots() {
    return KordoEntry<long (*)()>(m_kordo.get(), "kordo64_testOutstanding")();
}

TraceCapture::TraceCapture() : TraceFile(TempDir::path() / "WinPipeway.log") {
    WriteFile(file(), "");
    g_traceLogPath.Set(file().string());
}

TraceCapture::~TraceCapture() {
    g_traceLogPath.Clear();
}

std::string TraceFile::Text() const {
    std::string text = ReadFile(m_file);
    // The file is written in text mode: undo the platform's line ends.
    std::string unix;
    unix.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        unix += text[i];
    }
    return unix;
}

namespace {

// Where each entry of a trace log text starts and where its prefix ends.
struct EntrySpan {
    std::size_t start;
    std::size_t messageStart;
};

std::vector<EntrySpan> EntrySpans(const std::string& text) {
    static const std::regex prefix(R"(\[Proc:\d+ Thrd:\d+\] \d+/\d+/\d+ \d+:\d+:\d+:\d+-->)");
    std::vector<EntrySpan> spans;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), prefix);
         it != std::sregex_iterator(); ++it) {
        const auto start = static_cast<std::size_t>(it->position());
        spans.push_back({start, start + static_cast<std::size_t>(it->length())});
    }
    return spans;
}

std::string MessageOf(const std::string& text, const std::vector<EntrySpan>& spans, std::size_t i) {
    const std::size_t end = i + 1 < spans.size() ? spans[i + 1].start : text.size();
    return text.substr(spans[i].messageStart, end - spans[i].messageStart);
}

// The system's messages that end without a line end, so that the next entry follows on the
// same line.
bool RunsOn(const std::string& message) {
    static const std::regex runOn(
        R"(.* has role: -?\d+|Error Getting User Name : -?\d+|Error again Getting UserName : -?\d+)");
    return std::regex_match(message, runOn);
}

// Whether an entry may start right after this message.
bool EndsWhereAnEntryMayStart(const std::string& message) {
    const std::size_t size = message.size();
    return (size >= 1 && message[size - 1] == '\n') ||
           (size >= 2 && message.compare(size - 2, 2, "\n ") == 0) || RunsOn(message);
}

}  // namespace

std::vector<std::string> TraceFile::Messages() const {
    const std::string text = Text();
    const std::vector<EntrySpan> spans = EntrySpans(text);
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        messages.push_back(MessageOf(text, spans, i));
    }
    return messages;
}

std::string BrokenTraceEntry(const std::string& text) {
    const std::vector<EntrySpan> spans = EntrySpans(text);
    if (!text.empty() && (spans.empty() || spans[0].start != 0)) {
        return "text before the first entry: " + text.substr(0, 120);
    }
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const std::string message = MessageOf(text, spans, i);
        const std::string where = text.substr(spans[i].start, 200);
        if (message.empty()) {
            return "entry without a message: " + where;
        }
        if (i + 1 < spans.size() && !EndsWhereAnEntryMayStart(message)) {
            return "entry inside another entry's message: " + where;
        }
    }
    return "";
}

bool TraceFile::Has(const std::string& message) const {
    const std::vector<std::string> messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

int TraceFile::Count(const std::string& fragment) const {
    const std::vector<std::string> messages = Messages();
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const auto& entry) {
        return entry.find(fragment) != std::string::npos;
    }));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return lines;
        }
        start = end + 1;
    }
}

}  // namespace pwtest

namespace {

// The library's attach and detach notifications, as the provider library gives them.
class ProcessAttachEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        TraceLogProcessAttach();
        pw::core::ProcessAttach();
    }
    void TearDown() override {
        PipewayProviderImpl::CleanUpDAInfo();
        pw::core::ProcessDetach();
        TraceLogProcessDetach();
    }
};

// Every test starts from an empty DA cache and no exclusion store, as after a provider's
// teardown, also when the whole program runs in one process.
class ProcessStateReset : public ::testing::EmptyTestEventListener {
  public:
    void OnTestEnd(const ::testing::TestInfo&) override {
        PipewayProviderImpl::CleanUpDAInfo();
        CSingletonAuthExceptionImpl::DestroyInstance();
        g_traceLogPath.Clear();
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if !defined(_WIN32)
    // The events the tests make the provider report go nowhere, not to the machine's syslog;
    // the tests of the events name a file of their own.
    SetEnvironmentVariableA("PIPEWAY_EVENTLOG", "/dev/null");
#endif
    ::testing::AddGlobalTestEnvironment(new ProcessAttachEnvironment);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateReset);
    return RUN_ALL_TESTS();
}
