// A sample DA module, "lumda64": a few read-only system commands, answered as tagged text.
//   velcmd=gethostname   <HostName>
//   velcmd=getosinfo     <OSName> and <OSVersion>
//   velcmd=getuptime     <UptimeSeconds>
//   velcmd=echo          one <Token> per token the module received, as it received it
// Any other command gets <Error>unknown command</Error>: a module that ran or echoed what it
// does not know would answer commands that no policy entry was written for. Commands are
// matched exactly, byte for byte, as the exclusion policy matches them.
#include "samples/modules/sample_module.h"

#if !defined(_WIN32)
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>
#endif

namespace {

std::string HostName() {
    char name[256] = {};
#if defined(_WIN32)
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
#else
    gethostname(name, sizeof name - 1);
#endif
    return name;
}

std::string OsInfo() {
#if defined(_WIN32)
    // The version the system reports to this process (it may be capped by compatibility).
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    std::string number = "unknown";
    if (GetVersionExA(&version)) {
        number = std::to_string(version.dwMajorVersion) + "." +
                 std::to_string(version.dwMinorVersion) + "." +
                 std::to_string(version.dwBuildNumber);
    }
    return "<OSName>Windows</OSName><OSVersion>" + number + "</OSVersion>";
#else
    utsname name{};
    if (uname(&name) != 0) {
        return "<OSName>unknown</OSName>";
    }
    return "<OSName>" + sample::Escape(name.sysname) + "</OSName><OSVersion>" +
           sample::Escape(name.release) + "</OSVersion>";
#endif
}

std::string UptimeSeconds() {
#if defined(_WIN32)
    return std::to_string(GetTickCount64() / 1000);
#else
    struct sysinfo info {};
    return sysinfo(&info) == 0 ? std::to_string(info.uptime) : "unknown";
#endif
}

}  // namespace

PW_DA_EXPORT char* lumda64_sendCmd(int argc, char* argv[]) {
    const std::string command = sample::Value(argc, argv, "velcmd");
    std::string answer = "<Response module=\"lumda64\">";
    if (command == "gethostname") {
        answer += "<HostName>" + sample::Escape(HostName()) + "</HostName>";
    } else if (command == "getosinfo") {
        answer += OsInfo();
    } else if (command == "getuptime") {
        answer += "<UptimeSeconds>" + UptimeSeconds() + "</UptimeSeconds>";
    } else if (command == "echo") {
        for (int i = 0; i < argc; ++i) {
            answer += "<Token>" + sample::Escape(argv[i]) + "</Token>";
        }
    } else {
        answer += "<Error>unknown command</Error>";
    }
    return sample::Answer(answer + "</Response>");
}

PW_DA_EXPORT void lumda64_freeData(char* answer) {
    std::free(answer);
}
