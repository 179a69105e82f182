// POSIX stand-in for the part of <olectl.h> that COM self-registration uses.
#pragma once

#include <winerror.h>

#define SELFREG_E_FIRST static_cast<HRESULT>(0x80040200)
#define SELFREG_E_LAST static_cast<HRESULT>(0x8004020F)
#define SELFREG_E_TYPELIB static_cast<HRESULT>(0x80040200)
#define SELFREG_E_CLASS static_cast<HRESULT>(0x80040201)
