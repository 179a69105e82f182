/* The module "pexda64" whose answer comes from a library of its own, libpwdadep, which is
 * installed beside it: it loads only when the module finds its own libraries in its folder. */
#include <pipeway/da_contract.h>

#include <stdlib.h>
#include <string.h>

const char* pw_dependency_answer(void);

PW_DA_EXPORT char* pexda64_sendCmd(int argc, char* argv[]) {
    (void)argc;
    (void)argv;
    const char* text = pw_dependency_answer();
    size_t size = strlen(text) + 1;
    char* answer = malloc(size);
    if (answer != NULL) {
        memcpy(answer, text, size);
    }
    return answer;
}

PW_DA_EXPORT void pexda64_freeData(char* answer) {
    free(answer);
}
