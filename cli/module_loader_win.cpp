#include "cli/module_check.h"

#include <windows.h>

namespace pipeway {

void QuietLoaderErrors() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

}  // namespace pipeway
