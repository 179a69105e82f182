// A sample DA module: "lumda64" answers "velcmd=gethostname" with this machine's host name,
// and every other command with a small XML document that lists the tokens it received.
#include "da_contract.h"

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace {

std::string Escape(const char* text) {
    std::string escaped;
    for (; *text != '\0'; ++text) {
        switch (*text) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            default:
                escaped += *text;
        }
    }
    return escaped;
}

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

}  // namespace

PW_DA_EXPORT char* lumda64_sendCmd(int argc, char* argv[]) {
    bool hostName = false;
    for (int i = 0; i < argc; ++i) {
        hostName = hostName || std::strcmp(argv[i], "velcmd=gethostname") == 0;
    }
    std::string answer = "<Response module=\"lumda64\">";
    if (hostName) {
        answer += "<HostName>" + Escape(HostName().c_str()) + "</HostName></Response>";
        argc = 0;
    }
    for (int i = 0; i < argc; ++i) {
        answer += "<Token>" + Escape(argv[i]) + "</Token>";
    }
    if (!hostName) {
        answer += "</Response>";
    }
    char* text = static_cast<char*>(std::malloc(answer.size() + 1));
    if (text != nullptr) {
        std::memcpy(text, answer.c_str(), answer.size() + 1);
    }
    return text;
}

PW_DA_EXPORT void lumda64_freeData(char* answer) {
    std::free(answer);
}
