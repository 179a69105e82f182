// The stack's libraries come from the library folder the registry names, by full path, and from
// nowhere else: a library of the same name in the program's folder, the current folder or on
// "PATH" is never loaded.
#include "tests/e2e/provider_fixture.h"

#include "pw/stack_layout.h"

#include <algorithm>

namespace pwtest {
namespace {

namespace fs = std::filesystem;

// A copy of the planted "mivda64" (one without its sendCmd export: if it were loaded, the call
// would end with ResultCode 105) at `folder`, removed again with the object.
class Planted : private pw::NoCopy {
  public:
    explicit Planted(const fs::path& folder) : m_file(folder / LibraryFile("mivda64")) {
        fs::copy_file(DAFolder("planted") / LibraryFile("mivda64"), m_file,
                      fs::copy_options::overwrite_existing);
    }
    ~Planted() {
        std::error_code ignored;
        fs::remove(m_file, ignored);
    }

  private:
    fs::path m_file;
};

// The current folder for the life of the object.
class InFolder : private pw::NoCopy {
  public:
    explicit InFolder(const fs::path& folder) : m_previous(fs::current_path()) {
        fs::current_path(folder);
    }
    ~InFolder() {
        std::error_code ignored;
        fs::current_path(m_previous, ignored);
    }

  private:
    fs::path m_previous;
};

using StackLibraries = CommandTest;

TEST_F(StackLibraries, PlantedLibrariesAreNeverLoaded) {
    TempDir onPath;
    TempDir current;
    // The test program's folder, the current folder and a folder before the stack's on "PATH".
    const Planted beside(ProgramFolder());
    const Planted inCurrent(current.path());
    const Planted first(onPath.path());
    SetSearchPath({onPath.path(), DAFolder("good")});
    const InFolder here(current.path());
    TestDA served("mivda64");  // the library folder's own

    const CallResult result = ExecString(L"daname=mivda64 velcmd=ping");
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(served.SendCount(), 1);
}

// "PATH" names a folder whose name starts with the library folder's: start-up finds the
// folder's text in it and leaves "PATH" as it is, and the modules are still loaded.
TEST_F(StackLibraries, LibraryFolderThatIsAPrefixOfAPathEntryStillServes) {
    StopProvider();
    SetSearchPath({DAFolder("good").string() + ".old"});
    ASSERT_EQ(StartProvider(), S_OK);
    EXPECT_TRUE(Log().Has("EnvPath not set\n")) << Log().Text();
    const CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(m_lumda->SendCount(), 1);
}

// However the registry's folder is written, the library's path has one separator before the
// name (and, on Windows, backslashes only).
TEST(LibraryPath, HasOneSeparatorBeforeTheName) {
    struct Case {
        const char* folder;
        const char* path;
    };
#if defined(_WIN32)
    const Case cases[] = {
        {"C:\\Corvane\\lib", "C:\\Corvane\\lib\\lumda64.dll"},
        {"C:\\Corvane\\lib\\", "C:\\Corvane\\lib\\lumda64.dll"},
        {"C:/Corvane/lib/", "C:\\Corvane\\lib\\lumda64.dll"},
        {"C:/Corvane/lib//", "C:\\Corvane\\lib\\lumda64.dll"},
        {"C:\\", "C:\\lumda64.dll"},
    };
#else
    const Case cases[] = {
        {"/opt/corvane/lib", "/opt/corvane/lib/lumda64.so"},
        {"/opt/corvane/lib/", "/opt/corvane/lib/lumda64.so"},
        {"/opt/corvane/lib//", "/opt/corvane/lib/lumda64.so"},
        {"/", "/lumda64.so"},
    };
#endif
    for (const Case& c : cases) {
        EXPECT_EQ(pw::stack::LibraryPathIn(c.folder, "lumda64"), std::optional<std::string>(c.path))
            << c.folder;
    }
}

#if defined(_WIN32)
// A folder written with forward slashes and a trailing one serves as the same folder does.
TEST_F(StackLibraries, FolderWithForwardSlashesServes) {
    StopProvider();
    std::string folder = DAFolder("good").string();
    std::replace(folder.begin(), folder.end(), '\\', '/');
    SetLibraryDirectory(folder + "/");
    ASSERT_EQ(StartProvider(), S_OK);
    const CallResult result = ExecString(L"daname=lumda64 velcmd=getobject");
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(m_lumda->SendCount(), 1);
}
#endif

}  // namespace
}  // namespace pwtest
