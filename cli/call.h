// pipeway's commands that call the provider as the WMI service does: exec, enum and get, and
// the library's own register and unregister.
#pragma once

#include "host/host_objects.h"

#include <windows.h>
#include <wbemidl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace pipeway {

// What the provider-calling commands were given.
struct CallOptions {
    std::filesystem::path stack;
    bool trace = false;
    bool verbose = false;
    std::string command;  // exec, enum, get, register or unregister
    std::wstring user;
    DWORD level = RPC_C_IMP_LEVEL_IMPERSONATE;
    bool array = false;
    bool json = false;
    std::vector<std::string> args;
};

// What the provider writes to standard output while the object lives (the exclusion file's
// scanner copies text there), caught at the file-descriptor level: the provider library's
// writes, through its own copy of the C++ runtime included, never mix with pipeway's output.
// Shown afterwards on standard error as "exclusion file: TEXT" when it holds more than blanks.
class ProviderOutput {
  public:
    ProviderOutput();
    ~ProviderOutput();
    ProviderOutput(const ProviderOutput&) = delete;
    ProviderOutput& operator=(const ProviderOutput&) = delete;

  private:
    std::FILE* m_file = nullptr;  // where standard output goes meanwhile; null: not caught
    int m_saved = -1;             // standard output's own descriptor, kept aside
#if defined(_WIN32)
#endif
};

// Creates the provider, initialises it as the client and runs the command.
int RunCall(CallOptions options);

// exec: one method call with the command line, its answer printed.
int Exec(IWbemServices* provider, host::ClassObject* definition, const CallOptions& options);

}  // namespace pipeway
