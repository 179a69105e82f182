// A sample rights module, "rukda64": answers the rights query (velcmd=getuserrightsonly) with
// the user-rights mask that the editable file "userrights.txt" beside the library gives the
// account: the whole "DOMAIN\user" name of the "user=" token, compared without regard to case
// as account names are (matching the user part alone would give HOST\admin's rights to
// OTHER\admin). The file is read on every query, so an edit takes effect at once. Lines are
// "ACCOUNT MASK"; "*" gives the default; '#' starts a comment. Without the file, or without a
// line for the account and no "*" line, the mask is 1 (user). Any other command gets an error.
// Clients can send this query too: the sample policy refuses it to users and power users.
#include "samples/modules/sample_module.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

bool SameAccount(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string MaskFor(const std::string& account) {
    std::ifstream file(sample::OwnFolder() + "/userrights.txt");
    std::string line;
    std::string fallback = "1";
    while (std::getline(file, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string name;
        std::string mask;
        if (!(fields >> name >> mask)) {
            continue;
        }
        if (SameAccount(name, account)) {
            return mask;
        }
        if (name == "*") {
            fallback = mask;
        }
    }
    return fallback;
}

}  // namespace

PW_DA_EXPORT char* rukda64_sendCmd(int argc, char* argv[]) {
    if (sample::Value(argc, argv, "velcmd") != "getuserrightsonly") {
        return sample::Answer("<Error>unknown command</Error>");
    }
    const std::string user = sample::Value(argc, argv, "user");
    return sample::Answer("<UserRights><UserName>" + sample::Escape(user) +
                          "</UserName><UserRightsMask>" + MaskFor(user) +
                          "</UserRightsMask></UserRights>");
}

PW_DA_EXPORT void rukda64_freeData(char* answer) {
    std::free(answer);
}
