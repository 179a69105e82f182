// The dynamic-loading calls, as the loader sees them. Built for Windows too, where they run
// against the real API: the same expectations hold for the POSIX stand-in and for Windows.
#include "tests/support/test_support.h"

#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using pwtest::DAFolder;
using pwtest::ProgramFolder;
using pwtest::SetSearchPath;
using pwtest::TempDir;

namespace {

#if defined(_WIN32)
constexpr char kExtension[] = ".dll";
#else
constexpr char kExtension[] = ".so";
#endif

// A copy of a test module under another file name, removed again at the end of the test.
class ModuleCopy {
  public:
    ModuleCopy(const fs::path& from, const fs::path& to) : m_path(to) {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    }
    ~ModuleCopy() {
        std::error_code ignored;
        fs::remove(m_path, ignored);
    }

  private:
    fs::path m_path;
};

bool HasSendCmd(HMODULE module, const char* daName) {
    return GetProcAddress(module, (std::string(daName) + "_sendCmd").c_str()) != nullptr;
}

class DynamicLoading : public ::testing::Test {
  protected:
    void SetUp() override { SetSearchPath({DAFolder("good")}); }
};

// A bare name is found through "PATH" with the library extension added; a name with its
// extension loads too, and a full path needs no search.
TEST_F(DynamicLoading, BareNameWithItsExtensionOrFullPathLoads) {
    const std::string file = std::string("tarda64") + kExtension;
    HMODULE module = LoadLibraryA("tarda64");
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(HasSendCmd(module, "tarda64"));
    EXPECT_TRUE(FreeLibrary(module));
    module = LoadLibraryA(file.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    SetSearchPath({});
    module = LoadLibraryA((DAFolder("good") / file).string().c_str());
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
}

// A missing library fails with ERROR_MOD_NOT_FOUND, a missing export with
// ERROR_PROC_NOT_FOUND.
TEST_F(DynamicLoading, MissingLibraryOrExportFailsWithItsError) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("nosuchda64"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE module = LoadLibraryA("tarda64");
    ASSERT_NE(module, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "tarda64_noSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    FreeLibrary(module);
}

TEST_F(DynamicLoading, PathIsReadAtTheTimeOfTheCall) {
    TempDir empty;
    SetSearchPath({empty.path()});
    EXPECT_EQ(LoadLibraryA("pexda64"), nullptr);
    SetSearchPath({empty.path(), DAFolder("good")});
    HMODULE module = LoadLibraryA("pexda64");
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
}

TEST_F(DynamicLoading, PathFoldersAreSearchedInOrder) {
    SetSearchPath({DAFolder("nosend"), DAFolder("good")});
    HMODULE first = LoadLibraryA("lumda64");
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(HasSendCmd(first, "lumda64"));
    FreeLibrary(first);

    SetSearchPath({DAFolder("good"), DAFolder("nosend")});
    HMODULE second = LoadLibraryA("lumda64");
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(HasSendCmd(second, "lumda64"));
    FreeLibrary(second);
}

TEST_F(DynamicLoading, ProgramFolderComesBeforePath) {
    // The same file name in the program's folder (a module without sendCmd) and on "PATH"
    // (a complete one): the program's folder wins.
    const std::string file = std::string("pwordertest") + kExtension;
    TempDir onPath;
    ModuleCopy inProgramFolder(DAFolder("nosend") / (std::string("tarda64") + kExtension),
                               ProgramFolder() / file);
    ModuleCopy inPathFolder(DAFolder("good") / (std::string("tarda64") + kExtension),
                            onPath.path() / file);
    SetSearchPath({onPath.path()});
    HMODULE module = LoadLibraryA("pwordertest");
    ASSERT_NE(module, nullptr);
    EXPECT_FALSE(HasSendCmd(module, "tarda64"));
    FreeLibrary(module);
}

TEST_F(DynamicLoading, LastErrorBelongsToTheThread) {
    SetLastError(0);
    std::thread([] { EXPECT_EQ(LoadLibraryA("nosuchda64"), nullptr); }).join();
    EXPECT_EQ(GetLastError(), 0u);
}

}  // namespace
