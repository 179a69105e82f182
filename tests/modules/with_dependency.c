/* The module "pexda64" whose answer comes from a library of its own, libpwdadep, which is
 * installed beside it: it loads only when the module finds its own libraries in its folder. */
#define _POSIX_C_SOURCE 200809L /* strdup */

#include <pipeway/da_contract.h>

#include <stdlib.h>
#include <string.h>

const char* pw_dependency_answer(void);

PW_DA_EXPORT char* pexda64_sendCmd(int argc, char* argv[]) {
    (void)argc;
    (void)argv;
    return strdup(pw_dependency_answer());
}

PW_DA_EXPORT void pexda64_freeData(char* answer) {
    free(answer);
}
