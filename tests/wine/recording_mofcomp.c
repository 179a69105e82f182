/* Stands in for the system's mofcomp.exe in the installer test: appends its command line to
 * "mofcomp-calls.txt" beside itself and succeeds, so that the test sees which MOF the package's
 * custom actions compiled, and when. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void) {
    char path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 2;
    }
    while (length > 0 && path[length - 1] != '\\') {
        --length;
    }
    strcpy(path + length, "mofcomp-calls.txt");
    FILE* calls = fopen(path, "a");
    if (calls == NULL) {
        return 2;
    }
    const int written = fprintf(calls, "%s\n", GetCommandLineA());
    return fclose(calls) == 0 && written > 0 ? 0 : 2;
}
