// pipeway's commands that call the provider as the WMI service does: exec, enum and get, and
// the library's own register and unregister.
#pragma once

#include "host/host_objects.h"

#include <windows.h>
#include <wbemidl.h>

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

// Creates the provider, initialises it as the client and runs the command.
int RunCall(CallOptions options);

// exec: one method call with the command line, its answer printed.
int Exec(IWbemServices* provider, host::ClassObject* definition, const CallOptions& options);

}  // namespace pipeway
