#include "pw/stack_layout.h"

#include <pw_loader.h>

namespace pw::stack {

std::string LoaderMessage(DWORD error) {
    char text[512];
    const DWORD length = PwLoaderErrorText(error, text, sizeof text);
    return std::string(text, length);
}

}  // namespace pw::stack
