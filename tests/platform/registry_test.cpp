// The registry calls with the Windows rules the provider and its registration rely on. Built
// for Windows too, where the same expectations run against the real registry under a test key
// of HKEY_CURRENT_USER; what concerns the registry file is POSIX only.
#include "tests/support/test_support.h"

#include "pw/resources.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kBase[] = "Software\\PipewayPlatformTest";

// An open key, closed at the end of its life.
// The name of the value that writer `thread` sets in its round `i`.
std::string WriterValue(int thread, int i) {
    std::string name = "v";
    name += std::to_string(thread);
    name += '_';
    name += std::to_string(i);
    return name;
}

std::string Sub(const std::string& name) {
    return std::string(kBase) + "\\" + name;
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD number) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number);
}

// Reads a REG_SZ value; empty when it cannot.
std::string GetString(HKEY key, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return buffer;
}

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
#if !defined(_WIN32)
        m_file = m_dir.path() / "registry.txt";
        ASSERT_TRUE(SetEnvironmentVariableA("PIPEWAY_REGISTRY", m_file.string().c_str()));
#endif
        RegDeleteTreeA(HKEY_CURRENT_USER, kBase);
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kBase);
#if !defined(_WIN32)
        SetEnvironmentVariableA("PIPEWAY_REGISTRY", nullptr);
#endif
    }

    LONG Create(const std::string& name, pw::UniqueKey& key, DWORD* disposition = nullptr) {
        return RegCreateKeyExA(HKEY_CURRENT_USER, Sub(name).c_str(), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                               disposition);
    }
    LONG Open(const std::string& name, REGSAM access, pw::UniqueKey& key) {
        return RegOpenKeyExA(HKEY_CURRENT_USER, Sub(name).c_str(), 0, access, key.put());
    }

    pwtest::TempDir m_dir;
    std::filesystem::path m_file;
};

TEST_F(Registry, CreateReportsANewKeyThenAnExistingOne) {
    pw::UniqueKey first;
    pw::UniqueKey second;
    DWORD disposition = 0;
    ASSERT_EQ(Create("Shared", first, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(Create("Shared", second, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
}

TEST_F(Registry, StringSizeProbeCountsTheTerminator) {
    pw::UniqueKey key;
    ASSERT_EQ(Create("Shared", key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), "CorvaneLibPath", "C:\\lib"), ERROR_SUCCESS);
    DWORD type = REG_NONE;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "CorvaneLibPath", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(GetString(key.get(), "CorvaneLibPath"), "C:\\lib");
    // A buffer too small gives ERROR_MORE_DATA and the size needed.
    char buffer[3] = {};
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key.get(), "CorvaneLibPath", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
}

TEST_F(Registry, DwordReadsBackAsWritten) {
    pw::UniqueKey key;
    ASSERT_EQ(Create("Shared", key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Count", 42), ERROR_SUCCESS);
    DWORD number = 0;
    DWORD size = sizeof number;
    DWORD type = REG_NONE;
    ASSERT_EQ(RegQueryValueExA(key.get(), "Count", nullptr, &type, reinterpret_cast<BYTE*>(&number),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 42u);
}

TEST_F(Registry, MissingKeyOrValueIsNotFound) {
    pw::UniqueKey missing;
    EXPECT_EQ(Open("Absent", KEY_READ, missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.get(), nullptr);
    pw::UniqueKey key;
    ASSERT_EQ(Create("Shared", key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Absent", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, NamesIgnoreCase) {
    pw::UniqueKey created;
    ASSERT_EQ(Create("Mixed\\Case", created), ERROR_SUCCESS);
    ASSERT_EQ(SetString(created.get(), "Name", "value"), ERROR_SUCCESS);
    pw::UniqueKey opened;
    ASSERT_EQ(Open("MIXED\\case", KEY_READ, opened), ERROR_SUCCESS);
    EXPECT_EQ(GetString(opened.get(), "NAME"), "value");
}

TEST_F(Registry, KeyOpenedForReadingRefusesWrites) {
    pw::UniqueKey created;
    ASSERT_EQ(Create("Shared", created), ERROR_SUCCESS);
    ASSERT_EQ(SetString(created.get(), "Name", "value"), ERROR_SUCCESS);
    pw::UniqueKey reader;
    ASSERT_EQ(Open("Shared", KEY_READ, reader), ERROR_SUCCESS);
    EXPECT_EQ(SetString(reader.get(), "Name", "other"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader.get(), "Name"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetString(reader.get(), "Name"), "value");
#if !defined(_WIN32)
    // Windows wants KEY_CREATE_SUB_KEY on the parent to create a key; Wine does not check.
    pw::UniqueKey child;
    EXPECT_EQ(RegCreateKeyExA(reader.get(), "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              child.put(), nullptr),
              ERROR_ACCESS_DENIED);
#endif
}

TEST_F(Registry, DeleteTreeTakesTheKeyWithItsSubkeys) {
    {
        pw::UniqueKey leaf;
        ASSERT_EQ(Create("Parent\\Child", leaf), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, Sub("Parent").c_str()), ERROR_SUCCESS);
    pw::UniqueKey gone;
    EXPECT_EQ(Open("Parent", KEY_READ, gone), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, Sub("Parent").c_str()), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeletedValueOrKeyIsGone) {
    pw::UniqueKey key;
    ASSERT_EQ(Create("Shared", key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), "Name", "value"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key.get(), "name"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key.get(), "Name"), ERROR_FILE_NOT_FOUND);
    // The key deleted while open answers ERROR_KEY_DELETED.
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, Sub("Shared").c_str()), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Name", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
}

// POSIX only from here: the registry file.
class RegistryFile : public Registry {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        GTEST_SKIP() << "Windows keeps its own registry";
#else
        Registry::SetUp();
#endif
    }
};

TEST_F(RegistryFile, ChangesAreWrittenAsReadableText) {
    pw::UniqueKey key;
    ASSERT_EQ(Create("Persist", key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), "Name", "a \"quoted\" value"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Count", 42), ERROR_SUCCESS);
    const std::string text = pwtest::ReadFile(m_file);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\PipewayPlatformTest\\Persist]\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Name\"=sz:\"a \\\"quoted\\\" value\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Count\"=dword:0000002a\n"), std::string::npos) << text;
}

TEST_F(RegistryFile, FileIsReadAtEveryCall) {
    pwtest::WriteFile(m_file, "[HKLM\\SOFTWARE\\Vendor]\n\"Dir\"=sz:\"/opt/one\"\n");
    pw::UniqueKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\vendor", 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(key.get(), "Dir"), "/opt/one");
    pwtest::WriteFile(m_file,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\n@=sz:\"d\"\n"
                      "\"Dir\"=sz:\"/opt/two\"\n");
    EXPECT_EQ(GetString(key.get(), "Dir"), "/opt/two");
    EXPECT_EQ(GetString(key.get(), nullptr), "d");
}

TEST_F(RegistryFile, WhatTheFileSaysSurvivesARewrite) {
    pwtest::WriteFile(m_file,
                      "[HKEY_CURRENT_USER\\Software\\PipewayPlatformTest\\Raw]\n"
                      "\"Bytes\"=hex(3):00,ff,10\n\"Tab\"=sz:\"a\\tb\\x01\"\n");
    pw::UniqueKey key;
    ASSERT_EQ(Create("Raw", key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Touch", 1), ERROR_SUCCESS);
    const std::string text = pwtest::ReadFile(m_file);
    EXPECT_NE(text.find("\"Bytes\"=hex(3):00,ff,10\n"), std::string::npos) << text;
    EXPECT_EQ(GetString(key.get(), "Tab"), "a\tb\x01");
}

TEST_F(RegistryFile, WithoutTheVariableTheRegistryIsEmptyAndReadOnly) {
    SetEnvironmentVariableA("PIPEWAY_REGISTRY", nullptr);
    pw::UniqueKey key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, key.put()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Create("Shared", key), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryFile, MalformedFileIsACorruptDatabase) {
    pwtest::WriteFile(m_file, "[HKEY_LOCAL_MACHINE\\SOFTWARE]\nnot a value line\n");
    pw::UniqueKey key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, key.put()), ERROR_BADDB);
}

TEST_F(RegistryFile, ClosedHandleIsInvalid) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Sub("Shared").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(key, "Name", "value"), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryFile, ConcurrentWritersAllLand) {
    pw::UniqueKey key;
    ASSERT_EQ(Create("Busy", key), ERROR_SUCCESS);
    std::vector<std::thread> writers;
    for (int thread = 0; thread < 4; ++thread) {
        writers.emplace_back([&key, thread] {
            for (int i = 0; i < 10; ++i) {
                const std::string name = WriterValue(thread, i);
                EXPECT_EQ(SetString(key.get(), name.c_str(), name), ERROR_SUCCESS);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (int thread = 0; thread < 4; ++thread) {
        for (int i = 0; i < 10; ++i) {
            const std::string name = WriterValue(thread, i);
            EXPECT_EQ(GetString(key.get(), name.c_str()), name);
        }
    }
}

}  // namespace
