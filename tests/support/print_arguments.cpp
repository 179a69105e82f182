// A program for the tests of starting programs: prints each argument in brackets on a line of
// its own, one line on standard error, and exits with status 3.
#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::printf("[%s]\n", argv[i]);
    }
    std::fflush(stdout);
    std::fputs("to standard error\n", stderr);
    return 3;
}
