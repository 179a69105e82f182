// A sample rights module: "rukda64" answers the rights query with a user-rights mask chosen
// by the account name in the "user=" token (the part after the last backslash):
//   Administrator -> 262151 (true administrator), admin -> 4, operator -> 2, guest -> 0,
//   any other account -> 1.
#include "da_contract.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

unsigned MaskFor(const std::string& account) {
    if (account == "Administrator") {
        return 0x40007;
    }
    if (account == "admin") {
        return 4;
    }
    if (account == "operator") {
        return 2;
    }
    if (account == "guest") {
        return 0;
    }
    return 1;
}

}  // namespace

PW_DA_EXPORT char* rukda64_sendCmd(int argc, char* argv[]) {
    std::string user;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "user=", 5) == 0) {
            user = argv[i] + 5;
        }
    }
    const std::size_t slash = user.rfind('\\');
    const std::string account = slash == std::string::npos ? user : user.substr(slash + 1);
    const std::string answer = "<UserRights><UserName>" + user + "</UserName><UserRightsMask>" +
                               std::to_string(MaskFor(account)) + "</UserRightsMask></UserRights>";
    char* text = static_cast<char*>(std::malloc(answer.size() + 1));
    if (text != nullptr) {
        std::memcpy(text, answer.c_str(), answer.size() + 1);
    }
    return text;
}

PW_DA_EXPORT void rukda64_freeData(char* answer) {
    std::free(answer);
}
