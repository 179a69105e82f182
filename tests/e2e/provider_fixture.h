// End-to-end tests of the provider library through the host, with the test DA modules, a
// temporary install root and registry, and the provider's own trace log file.
#pragma once

#include "tests/support/test_support.h"

#include "host/client_call.h"
#include "host/host_objects.h"
#include "host/method_call.h"
#include "host/provider_host.h"
#include "pw/resources.h"

#include <wbemidl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pwtest {

using pw::Hr;

extern const WCHAR* const kInstancePath;
constexpr DWORD kImpersonate = 3;
constexpr DWORD kIdentify = 2;

// The outcome of one WMI call as the client sees it.
using CallResult = host::CallAnswer;

// Sets (or, with nothing, removes) the registry value that names the stack's library folder.
void SetLibraryDirectory(const std::optional<std::string>& directory);

class ProviderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A provider created and initialised by a client at the impersonate level.
    HRESULT StartProvider();
    // Releases the provider object (its teardown runs).
    void StopProvider();

    // Another provider object of the same library, created and initialised like the first, or
    // by a client at `level`; the statuses its init sink was told go to `statuses`.
    HRESULT StartAnotherProvider(pw::ComPtr<IWbemServices>& provider,
                                 std::vector<LONG>* statuses = nullptr, DWORD level = kImpersonate);

    CallResult Exec(VARIANT* input, DWORD level = kImpersonate, const WCHAR* path = kInstancePath,
                    const WCHAR* method = nullptr, bool withInParams = true, bool withSink = true);
    CallResult ExecString(const std::wstring& text, DWORD level = kImpersonate);
    CallResult ExecArray(const std::vector<std::wstring>& elements, DWORD level = kImpersonate);
    CallResult Enumerate(DWORD level = kImpersonate);
    CallResult Lookup(const WCHAR* path, DWORD level = kImpersonate);
    // The same calls on a provider object of the caller's choice; safe from several threads.
    CallResult ExecOn(IWbemServices* provider, VARIANT* input, DWORD level = kImpersonate,
                      const WCHAR* path = kInstancePath, const WCHAR* method = nullptr,
                      bool withInParams = true, bool withSink = true);
    CallResult ExecStringOn(IWbemServices* provider, const std::wstring& text,
                            DWORD level = kImpersonate);
    CallResult EnumerateOn(IWbemServices* provider, DWORD level = kImpersonate);
    CallResult LookupOn(IWbemServices* provider, const WCHAR* path, DWORD level = kImpersonate);

    // Runs one call into the provider. With m_failAt set (POSIX only), the platform's faults
    // are armed around that call alone: 0 counts the injection points it passes, k fails the
    // k-th; the count is left in m_faultPoints.
    HRESULT Armed(const std::function<HRESULT()>& call);
    std::optional<long> m_failAt;
    unsigned m_faultKinds = 63u | 256u;  // the PwFaultKind bits counted: every platform kind
    long m_faultPoints = 0;

    // The provider's trace log.
    TraceFile Log() const;
    std::filesystem::path LogFile() const;

    // The client of the method calls (on POSIX; on Windows the client is the current account).
    std::wstring m_clientName = L"HOST\\alice";
    std::unique_ptr<TempDir> m_registryDir;
    std::unique_ptr<InstallRoot> m_root;
    std::unique_ptr<host::ProviderHost> m_host;
    pw::ComPtr<IWbemServices> m_provider;
    long m_liveAtStart = 0;
};

// A started provider whose rights module "rukda64" answers the administrator's mask 4 and whose
// "lumda64" echoes the tokens it is given.
class CommandTest : public ProviderTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<TestDA> m_rights;
    std::unique_ptr<TestDA> m_lumda;
};

// The provider library's file.
std::filesystem::path ProviderLibraryPath();
// A stack library's file name on this platform.
std::string LibraryFile(const std::string& module);

// The test DA modules' default answers: rights mask 4 (administrator), echo for commands,
// and addresses for the address queries.
std::string MaskAnswer(int mask);

}  // namespace pwtest
