// POSIX stand-in for <wbemidl.h>: the WMI client and provider interfaces together.
#pragma once

#include <wbemcli.h>
#include <wbemprov.h>
