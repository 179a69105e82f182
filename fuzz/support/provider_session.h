// One provider object for a whole fuzz run, loaded and initialised through the host as the
// WMI service does it, over the test DA modules and a scratch install root and registry.
#pragma once

#include "pw/resources.h"

#include "fuzz/support/fuzz_support.h"

#include "host/host_objects.h"
#include "host/method_call.h"
#include "host/provider_host.h"

#include <wbemidl.h>

#include <optional>
#include <string>
#include <vector>

namespace pwfuzz {

// What the client saw of one call.
using Outcome = host::CallAnswer;

class ProviderSession : private pw::NoCopy {
  public:
    ProviderSession();

    // GetObjectAsync for a path, as the client HOST\alice at the impersonate level.
    Outcome Lookup(const std::wstring& path);
    // ExecMethodAsync with "CommandAndArguments" set to `input`.
    Outcome Exec(const VARIANT& input, const std::wstring& path, const WCHAR* method);

    const TestDA& Rights() const { return *m_rights; }
    const TestDA& Commands() const { return *m_commands; }

  private:
    // Checks what every call leaves behind: no impersonation, every host object released,
    // every module answer given back.
    void CheckAfterCall(long liveBefore) const;

    ScratchRoot m_root;
    host::ProviderHost* m_host = nullptr;  // never unloaded during the run
    IWbemServices* m_provider = nullptr;
    // Reached once the registry names the test DA modules' folder.
    std::optional<TestDA> m_rights;
    std::optional<TestDA> m_commands;
};

// Wide text from fuzz bytes: each byte one character (0 to 255), or, with `pairs`, each two
// bytes one 16-bit code unit (surrogates and all), little end first.
std::wstring Widen(std::string_view bytes, bool pairs);

extern const WCHAR* const kInstancePath;

}  // namespace pwfuzz
