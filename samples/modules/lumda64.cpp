// A sample DA module for the demo: "lumda64" answers every command with a small XML
// document that lists the tokens it received.
#include "da_contract.h"

#include <cstdlib>
#include <cstring>
#include <string>

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

}  // namespace

PW_DA_EXPORT char* lumda64_sendCmd(int argc, char* argv[]) {
    std::string answer = "<Response module=\"lumda64\">";
    for (int i = 0; i < argc; ++i) {
        answer += "<Token>" + Escape(argv[i]) + "</Token>";
    }
    answer += "</Response>";
    char* text = static_cast<char*>(std::malloc(answer.size() + 1));
    if (text != nullptr) {
        std::memcpy(text, answer.c_str(), answer.size() + 1);
    }
    return text;
}

PW_DA_EXPORT void lumda64_freeData(char* answer) {
    std::free(answer);
}
