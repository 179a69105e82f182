#include "tests/support/test_support.h"

#include "log/local_time.h"
#include "log/trace_log.h"

#if !defined(_WIN32)
#include <pw_clock.h>
#include <pw_counters.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using pwtest::TempDir;
using pwtest::TraceCapture;
using pwtest::TraceFile;

namespace {

// Tracing follows the file, as the last look for it found it: one look per interval, and one
// at once after the path is set. The clock is the platform's, stopped and moved by the test.
#if !defined(_WIN32)
class TraceGate : public ::testing::Test {
  protected:
    void SetUp() override { PwStopTickCount(1000000); }
    void TearDown() override { g_traceLogPath.Clear(); }
    TempDir m_dir;
    TraceFile m_trace{m_dir.path() / "WinPipeway.log"};
};

TEST_F(TraceGate, FileCreatedBetweenLooksIsWrittenToAfterTheNextLook) {
    g_traceLogPath.Set(m_trace.file().string());
    TraceLog("before the file\n");  // looks: no file
    pwtest::WriteFile(m_trace.file(), "");
    PwAdvanceTickCount(kTraceLookIntervalMilliseconds - 1);
    TraceLog("inside the interval\n");
    EXPECT_EQ(m_trace.Text(), "");
    PwAdvanceTickCount(1);
    TraceLog("after the next look\n");
    EXPECT_EQ(m_trace.Messages(), std::vector<std::string>{"after the next look\n"});
}

TEST_F(TraceGate, FileRemovedIsNotCreatedAgain) {
    pwtest::WriteFile(m_trace.file(), "");
    g_traceLogPath.Set(m_trace.file().string());
    TraceLog("on\n");
    ASSERT_EQ(m_trace.Messages(), std::vector<std::string>{"on\n"});
    fs::remove(m_trace.file());
    TraceLog("inside the interval: the last look found the file\n");
    EXPECT_FALSE(fs::exists(m_trace.file()));
    PwAdvanceTickCount(kTraceLookIntervalMilliseconds);
    TraceLog("after the next look\n");
    EXPECT_FALSE(fs::exists(m_trace.file()));
}

TEST_F(TraceGate, NoQueryWhileTheIntervalRuns) {
    g_traceLogPath.Set(m_trace.file().string());
    TraceLog("looks\n");
    const unsigned long long looked = PwFileQueries();
    for (int line = 0; line < 1000; ++line) {
        TraceLog("line %d\n", line);
    }
    PwAdvanceTickCount(kTraceLookIntervalMilliseconds - 1);
    TraceLog("last line of the interval\n");
    EXPECT_EQ(PwFileQueries(), looked);
    PwAdvanceTickCount(1);
    TraceLog("looks again\n");
    TraceLog("and not again\n");
    EXPECT_EQ(PwFileQueries(), looked + 1);
}
#endif

// Setting a path, another or the same one again (a provider load), looks at once, whatever the
// clock says.
TEST(TraceGatePath, SettingThePathLooksAtOnce) {
    TempDir dir;
    const TraceFile first(dir.path() / "first.log");
    const TraceFile second(dir.path() / "second.log");
    g_traceLogPath.Set(first.file().string());
    TraceLog("no file yet\n");
    pwtest::WriteFile(second.file(), "");
    g_traceLogPath.Set(second.file().string());
    TraceLog("to the second\n");
    pwtest::WriteFile(first.file(), "");
    g_traceLogPath.Set(first.file().string());
    TraceLog("to the first\n");
    g_traceLogPath.Clear();
    EXPECT_EQ(first.Messages(), std::vector<std::string>{"to the first\n"});
    EXPECT_EQ(second.Messages(), std::vector<std::string>{"to the second\n"});
}

// A caller reads its own failure after tracing it: the look (which fails while the file is
// missing) and the append leave GetLastError and errno as the caller left them.
TEST(TraceGatePath, CallersLastErrorSurvivesTheLookAndTheAppend) {
    TempDir dir;
    const TraceFile trace(dir.path() / "WinPipeway.log");
    const auto traced = [](const char* line) {
        SetLastError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        TraceLog("%s", line);
        return std::make_pair(GetLastError(), errno);
    };
    const auto callers = std::make_pair(DWORD{ERROR_ACCESS_DENIED}, EACCES);
    g_traceLogPath.Set(trace.file().string());
    EXPECT_EQ(traced("no file: the look fails\n"), callers);
    pwtest::WriteFile(trace.file(), "");
    g_traceLogPath.Set(trace.file().string());
    EXPECT_EQ(traced("appended\n"), callers);
    g_traceLogPath.Clear();
    EXPECT_EQ(trace.Messages(), std::vector<std::string>{"appended\n"});
}

// Nothing at the log's path, or what is not a regular file: the line is dropped, at once, and
// nothing is written or created anywhere; before the path is set, too.
struct TrapLog {
    const char* what;
    // Makes the trap at `at`; `elsewhere` is an empty file a link may point to.
    void (*make)(const fs::path& at, const fs::path& elsewhere);
};

const TrapLog kTrapLogs[] = {
    {"Missing", [](const fs::path&, const fs::path&) {}},
    {"Folder", [](const fs::path& at, const fs::path&) { fs::create_directory(at); }},
#if !defined(_WIN32)
    // Opening a FIFO for writing would wait for a reader for ever.
    {"Fifo", [](const fs::path& at, const fs::path&) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
    // A link would make the host append to whatever file it names.
    {"LinkToAFile",
     [](const fs::path& at, const fs::path& elsewhere) { fs::create_symlink(elsewhere, at); }},
#endif
    // A second name of someone else's file: the host would append to that file.
    {"HardLinkToAFile",
     [](const fs::path& at, const fs::path& elsewhere) { fs::create_hard_link(elsewhere, at); }},
};

class TrapLogFile : public ::testing::TestWithParam<TrapLog> {};

TEST_P(TrapLogFile, DropsTheLineAndWritesNothing) {
    TempDir dir;
    const fs::path file = dir.path() / "WinPipeway.log";
    const fs::path elsewhere = dir.path() / "elsewhere.txt";
    pwtest::WriteFile(elsewhere, "");
    GetParam().make(file, elsewhere);
    TraceLog("nobody hears this\n");  // no path set yet
    g_traceLogPath.Set(file.string());
    TraceLog("nobody hears this\n");
    g_traceLogPath.Clear();
    EXPECT_EQ(pwtest::ReadFile(elsewhere), "");
    std::error_code error;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
              fs::exists(fs::symlink_status(file, error)) ? 2 : 1);
    if (fs::is_directory(fs::symlink_status(file, error))) {
        EXPECT_TRUE(fs::is_empty(file));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TrapLogFile, ::testing::ValuesIn(kTrapLogs), pwtest::CaseName());

// The log's folder replaced by a link to a folder that holds a log: the walk from the install
// root does not pass it.
void ExpectLinkedLogFolderDropsTheLine(const fs::path& root) {
    g_traceLogPath.Set(pw::stack::AnchoredPath{root.string(), "/log/WinPipeway.log"});
    TraceLog("nobody hears this\n");
    g_traceLogPath.Clear();
    EXPECT_EQ(pwtest::ReadFile(root / "elsewhere" / "WinPipeway.log"), "");
}

#if defined(_WIN32)
// A Windows program under Wine can make neither a symbolic link nor a junction; the test run
// makes the link first (a Unix symbolic link, which Wine shows as a reparse point) and names
// its root in PW_TEST_LINKED_LOG_ROOT.
TEST(TraceLogTrap, LinkedFolderOnTheWayDropsTheLine) {
    const char* const root = std::getenv("PW_TEST_LINKED_LOG_ROOT");
    if (root == nullptr) {
        GTEST_SKIP() << "PW_TEST_LINKED_LOG_ROOT names no folder with a linked log folder";
    }
    ASSERT_TRUE(fs::is_directory(fs::path(root) / "elsewhere"));
    pwtest::WriteFile(fs::path(root) / "elsewhere" / "WinPipeway.log", "");
    ASSERT_TRUE(fs::exists(fs::path(root) / "log" / "WinPipeway.log"));
    ExpectLinkedLogFolderDropsTheLine(root);
}
#else
TEST(TraceLogTrap, LinkedFolderOnTheWayDropsTheLine) {
    TempDir root;
    fs::create_directory(root.path() / "elsewhere");
    pwtest::WriteFile(root.path() / "elsewhere" / "WinPipeway.log", "");
    fs::create_directory_symlink("elsewhere", root.path() / "log");
    ExpectLinkedLogFolderDropsTheLine(root.path());
}
#endif

// At its bound the log takes no more lines, the one that would cross it included, until it is
// emptied.
TEST(TraceLogBound, FullLogTakesNoMoreLinesUntilEmptied) {
    TraceCapture trace;
    {
        std::ofstream grow(trace.file(), std::ios::binary);
        grow.seekp(static_cast<std::streamoff>(kTraceLogLimit - 200));
        grow.put('x');
    }
    TraceLog("fits\n");
    const std::uintmax_t fitted = fs::file_size(trace.file());
    EXPECT_GT(fitted, kTraceLogLimit - 200);
    TraceLog("%s\n", std::string(300, 'y').c_str());
    TraceLog("short\n");  // would fit, but the one before did not: a line at a time
    EXPECT_LE(fs::file_size(trace.file()), kTraceLogLimit);
    fs::resize_file(trace.file(), 0);
    TraceLog("again\n");
    EXPECT_EQ(trace.Messages(), std::vector<std::string>{"again\n"});
}

TEST(TraceLogOff, NothingIsWrittenOutsideAttachAndDetach) {
    TraceCapture trace;
    TraceLogProcessDetach();
    g_traceLogPath.Set(trace.file().string());
    TraceLog("after detach\n");
    TraceLogProcessAttach();
    EXPECT_EQ(trace.Text(), "");
    TraceLog("after attach\n");
    EXPECT_EQ(trace.Messages(), std::vector<std::string>{"after attach\n"});
    // Detach also clears the path.
    TraceLogProcessDetach();
    TraceLogProcessAttach();
    EXPECT_EQ(g_traceLogPath.Get(), nullptr);
}

TEST(TraceLogEntry, PrefixCarriesProcessThreadAndLocalTimeWithoutFill) {
    TraceCapture trace;
    const auto before = std::chrono::system_clock::now();
    TraceLog("Hello %s %d\n", "world", 42);
    const std::string text = trace.Text();

    const std::regex entry(
        R"(\[Proc:(\d+) Thrd:(\d+)\] (\d+)/(\d+)/(\d+) (\d+):(\d+):(\d+):(\d+)-->Hello world 42\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, entry)) << text;
    EXPECT_EQ(std::stoul(match[1]), GetCurrentProcessId());
    EXPECT_EQ(std::stoul(match[2]), GetCurrentThreadId());
    for (std::size_t i = 3; i <= 9; ++i) {
        const std::string number = match[i];
        EXPECT_TRUE(number == "0" || number[0] != '0') << "leading zero in " << number;
    }
    const std::time_t seconds = std::chrono::system_clock::to_time_t(before);
    const std::tm local = LocalCalendar(seconds);
    EXPECT_EQ(std::stoi(match[3]), local.tm_year + 1900);
    EXPECT_EQ(std::stoi(match[4]), local.tm_mon + 1);
    EXPECT_LE(std::stoi(match[9]), 999);
}

TEST(TraceLogEntry, MessageWithoutLineEndRunsIntoTheNextEntry) {
    TraceCapture trace;
    TraceLog("User x has role: %d", 4);
    TraceLog("AuthModule returned : %d\n", 1);
    const std::vector<std::string> lines = pwtest::Lines(trace.Text());
    ASSERT_EQ(lines.size(), 2u);  // one line and the empty rest after its end
    EXPECT_NE(lines[0].find("has role: 4[Proc:"), std::string::npos) << lines[0];
}

// A message is written as it stands, "%" in its data included, and cut after 1024 characters.
TEST(TraceLogEntry, MessageIsWrittenVerbatimAndCutAfter1024Characters) {
    TraceCapture trace;
    const std::string whole = std::string(1023, 'y') + "\n";
    TraceLog("%s", whole.c_str());
    TraceLog("%s", std::string(1500, 'x').c_str());
    TraceLog("DACmd Response :%s\n", "100% done %d %s %n");
    EXPECT_EQ(trace.Messages(), (std::vector<std::string>{whole, std::string(1024, 'x'),
                                                          "DACmd Response :100% done %d %s %n\n"}));
}

TEST(TraceLogEntry, LineEndIsThePlatformsInTheFile) {
    TraceCapture trace;
    TraceLog("a\n");
    const std::string raw = pwtest::ReadFile(trace.file());
#if defined(_WIN32)
    EXPECT_EQ(raw.substr(raw.size() - 3), "a\r\n");
#else
    EXPECT_EQ(raw.substr(raw.size() - 2), "a\n");
#endif
}

TEST(TraceLogThreads, EntriesOfConcurrentThreadsStayWhole) {
    TraceCapture trace;
    constexpr int kThreads = 4;
    constexpr int kEntries = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEntries; ++i) {
                TraceLog("thread %d entry %d %s\n", t, i,
                         std::string(100, static_cast<char>('a' + t)).c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<std::string> messages = trace.Messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kEntries));
    const std::regex whole(R"(thread (\d) entry \d+ ([a-d])\2{99}\n)");
    for (const std::string& message : messages) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(message, match, whole)) << message;
        EXPECT_EQ(match[2].str()[0], 'a' + std::stoi(match[1]));
    }
}

TEST(TraceLogThreads, PathCanBeReplacedWhileOthersLog) {
    TempDir dir;
    const fs::path first = dir.path() / "first.log";
    const fs::path second = dir.path() / "second.log";
    pwtest::WriteFile(first, "");
    pwtest::WriteFile(second, "");
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 2; ++t) {
        loggers.emplace_back([&stop] {
            while (!stop.load()) {
                TraceLog("entry\n");
            }
        });
    }
    for (int i = 0; i < 500; ++i) {
        g_traceLogPath.Set((i % 2 == 0 ? first : second).string());
    }
    stop = true;
    for (std::thread& logger : loggers) {
        logger.join();
    }
    g_traceLogPath.Clear();
    const std::regex entry(R"(\[Proc:\d+ Thrd:\d+\] [0-9/ :]+-->entry\r?)");
    for (const fs::path& file : {first, second}) {
        const std::vector<std::string> lines = pwtest::Lines(pwtest::ReadFile(file));
        ASSERT_EQ(lines.back(), "") << file;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            ASSERT_TRUE(std::regex_match(lines[i], entry)) << file << ": " << lines[i];
        }
    }
}

}  // namespace
