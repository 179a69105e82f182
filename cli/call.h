// pipeway's commands that call the provider as the WMI service does: exec, enum and get, and
// the library's own register and unregister.
#pragma once

#include "host/event_file.h"
#include "host/host_objects.h"
#include "pw/resources.h"

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
    std::string command;     // exec, enum, get, register or unregister
    std::wstring user;       // the account running pipeway when none was named
    bool userNamed = false;  // whether --user named it
    DWORD level = RPC_C_IMP_LEVEL_IMPERSONATE;
    bool array = false;
    bool json = false;
    std::vector<std::string> args;
};

// What the provider writes to standard output while the object lives (the exclusion file's
// scanner and parser write there), caught at the file-descriptor level and dropped: the
// provider library's writes, through its own copy of the C++ runtime included, never mix with
// pipeway's output. What the reading found is told from the events instead (ExplainEvents),
// in pipeway's own words.
class ProviderOutput {
  public:
    ProviderOutput();
    ~ProviderOutput();
    ProviderOutput(const ProviderOutput&) = delete;
    ProviderOutput& operator=(const ProviderOutput&) = delete;

  private:
    std::FILE* m_file = nullptr;  // where standard output goes meanwhile; null: not caught
    int m_saved = -1;             // standard output's own descriptor, kept aside
};

// The events the provider reports while the object lives, as an administrator would see them
// in the event log. Each reported event is also written as a line of the file
// "PIPEWAY_EVENTLOG" names (by the POSIX platform; on Windows by the provider, which runs in
// this process); pipeway names one of its own when none is set.
class EventWatch : private pw::NoCopy {
  public:
    EventWatch();
    ~EventWatch();

    // The events reported since the object was made.
    std::vector<host::LoggedEvent> Raised() const;
    // One line on standard error per event: "pipeway: event ID (TYPE): STRING | STRING".
    void Print() const;

  private:
    std::filesystem::path m_file;
    std::uintmax_t m_start = 0;
    bool m_own = false;
};

// Creates the provider, initialises it as the client and runs the command.
int RunCall(CallOptions options);

// exec: one method call with the command line, its answer printed; `events` tells why a module
// could not be used.
int Exec(IWbemServices* provider, host::ClassObject* definition, const CallOptions& options,
         const EventWatch& events);

// What the events of a call mean for the caller, in plain words on standard error: an
// exclusion file that cannot be read, or one with a syntax error (shown as "policy check"
// shows it, the file read again).
void ExplainEvents(const std::vector<host::LoggedEvent>& events);

}  // namespace pipeway
