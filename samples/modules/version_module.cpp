// A sample DA module built twice, as "mivda64" and "pexda64" (PW_SAMPLE_MODULE names it):
//   velcmd=getversion   <Version module="NAME">1.0.0</Version>
//   velcmd=ping         <Pong module="NAME"/>
// Any other command gets <Error>unknown command</Error>.
#include "samples/modules/sample_module.h"

#define PW_SAMPLE_PASTE2(a, b) a##b
#define PW_SAMPLE_PASTE(a, b) PW_SAMPLE_PASTE2(a, b)
#define PW_SAMPLE_STRING2(a) #a
#define PW_SAMPLE_STRING(a) PW_SAMPLE_STRING2(a)

namespace {
const std::string kModule = PW_SAMPLE_STRING(PW_SAMPLE_MODULE);
}

PW_DA_EXPORT char* PW_SAMPLE_PASTE(PW_SAMPLE_MODULE, _sendCmd)(int argc, char* argv[]) {
    const std::string command = sample::Value(argc, argv, "velcmd");
    if (command == "getversion") {
        return sample::Answer("<Version module=\"" + kModule + "\">1.0.0</Version>");
    }
    if (command == "ping") {
        return sample::Answer("<Pong module=\"" + kModule + "\"/>");
    }
    return sample::Answer("<Error>unknown command</Error>");
}

PW_DA_EXPORT void PW_SAMPLE_PASTE(PW_SAMPLE_MODULE, _freeData)(char* answer) {
    std::free(answer);
}
