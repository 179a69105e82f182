// The removal MOF against the MOF that installs the class: every instance the one creates, the
// other deletes, by an object path that parses and names the same provider. The object paths
// are read with the object-path parser (CLSID_WbemDefPath), as WMI reads them.
#include "tests/support/test_support.h"

#include "pw/resources.h"

#include <wbemidl.h>
#include <wmiutils.h>

#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string ReadSource(const char* relativePath) {
    std::ifstream in(std::string(PW_SOURCE_DIR) + "/" + relativePath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of a MOF string literal's text: \" and \\ stand for " and \.
std::wstring MofString(const std::string& escaped) {
    std::wstring value;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const bool escape = escaped[i] == '\\' && i + 1 < escaped.size();
        value += static_cast<wchar_t>(escape ? escaped[++i] : escaped[i]);
    }
    return value;
}

std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex expression(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it) {
        found.insert((*it)[1].str());
    }
    return found;
}

// An instance path read by the parser: its class and its one key's name and string value.
struct InstancePath {
    std::wstring className;
    std::wstring keyName;
    std::wstring keyValue;
};

class RemovalMof : public ::testing::Test {
  protected:
    void SetUp() override {
        m_initialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }
    void TearDown() override {
        if (m_initialized) {
            CoUninitialize();
        }
    }

    static std::optional<InstancePath> Parse(const std::wstring& text) {
        pw::ComPtr<IWbemPath> path;
        pw::ComPtr<IWbemPathKeyList> keys;
        WCHAR className[128] = {};
        ULONG classSize = 128;
        if (FAILED(CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemPath,
                                    path.put_void())) ||
            FAILED(path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, text.c_str())) ||
            FAILED(path->GetClassName(&classSize, className)) ||
            FAILED(path->GetKeyList(keys.put()))) {
            return std::nullopt;
        }
        WCHAR keyName[128] = {};
        ULONG keySize = 128;
        pw::UniqueVariant value;
        ULONG cimType = 0;
        if (FAILED(keys->GetKey2(0, 0, &keySize, keyName, value.get(), &cimType)) ||
            value->vt != VT_BSTR) {
            return std::nullopt;
        }
        return InstancePath{className, keyName, value->bstrVal};
    }

    bool m_initialized = false;
};

TEST_F(RemovalMof, DeletesTheClassAndEveryInstanceTheMofCreates) {
    const std::string mof = ReadSource("provider/WinPipeway.mof");
    const std::string removal = ReadSource("installer/WinPipeway-remove.mof");
    ASSERT_FALSE(mof.empty());
    ASSERT_FALSE(removal.empty());

    EXPECT_EQ(Matches(removal, R"re(#pragma deleteclass\("(\w+)", NOFAIL\))re"),
              Matches(mof, R"re(\nclass (\w+))re"));
    const std::set<std::string> providers = Matches(mof, R"re(\n\s*Name = "(\w+)";)re");
    ASSERT_EQ(providers.size(), 1u);
    const std::wstring provider(providers.begin()->begin(), providers.begin()->end());

    std::set<std::string> deleted;
    for (const std::string& escaped :
         Matches(removal, R"re(#pragma deleteinstance\("((?:[^"\\]|\\.)*)", NOFAIL\))re")) {
        const std::optional<InstancePath> path = Parse(MofString(escaped));
        ASSERT_TRUE(path.has_value()) << escaped;
        deleted.insert(std::string(path->className.begin(), path->className.end()));
        if (path->className == L"__Win32Provider") {
            EXPECT_EQ(path->keyName, L"Name");
            EXPECT_EQ(path->keyValue, provider);
        } else {
            // A registration's key is the path of its provider.
            EXPECT_EQ(path->keyName, L"Provider") << escaped;
            const std::optional<InstancePath> referenced = Parse(path->keyValue);
            ASSERT_TRUE(referenced.has_value()) << escaped;
            EXPECT_EQ(referenced->className, L"__Win32Provider");
            EXPECT_EQ(referenced->keyValue, provider);
        }
    }
    EXPECT_EQ(deleted, Matches(mof, R"re(instance of (\w+))re"));
}

// The registrations' boolean properties are MOF booleans, not strings that mofcomp would have
// to convert.
TEST(ProviderMof, BooleansAreWrittenAsLiterals) {
    const std::string mof = ReadSource("provider/WinPipeway.mof");
    ASSERT_FALSE(mof.empty());
    EXPECT_EQ(Matches(mof, R"re(\n\s*(\w+) = "(?:TRUE|FALSE)";)re"), std::set<std::string>{});
    EXPECT_EQ(Matches(mof, R"re(\n\s*(\w+) = (?:TRUE|FALSE);)re"),
              (std::set<std::string>{"PerUserInitialization", "Pure", "SupportsDelete",
                                     "SupportsEnumeration", "SupportsGet", "SupportsPut"}));
}

}  // namespace
