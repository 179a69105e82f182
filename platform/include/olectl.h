// POSIX stand-in for the part of <olectl.h> that COM self-registration uses.
#pragma once

#include <winerror.h>
