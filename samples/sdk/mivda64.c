/* A DA module in C: "mivda64", answering velcmd=ping with <Pong/> and any other command with
 * an error (never by echoing it or running something else). Build it against an installed
 * pipeway with one line:
 *   cc -shared -fPIC -I<prefix>/include -o mivda64.so mivda64.c
 */
#include <pipeway/da_contract.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The value of the token "name=value" with this name, or null. */
static const char* Value(int argc, char* argv[], const char* name) {
    size_t length = strlen(name);
    for (int i = 0; i < argc; ++i) {
        if (strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') {
            return argv[i] + length + 1;
        }
    }
    return NULL;
}

/* The answer is allocated here and handed back to mivda64_freeData. Several threads may be in
 * this function at once: it keeps no state. */
PW_DA_EXPORT char* mivda64_sendCmd(int argc, char* argv[]) {
    const char* command = Value(argc, argv, "velcmd");
    /* Commands are matched exactly, byte for byte, as the exclusion policy matches them. */
    const char* text = command != NULL && strcmp(command, "ping") == 0
                           ? "<Pong/>"
                           : "<Error>unknown command</Error>";
    size_t size = strlen(text) + 1;
    char* answer = malloc(size);
    if (answer != NULL) {
        memcpy(answer, text, size);
    }
    return answer;
}

PW_DA_EXPORT void mivda64_freeData(char* answer) {
    free(answer);
}
