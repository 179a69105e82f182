// Registration of the COM server: the AppID and class entries written directly into the
// classes root, and the type library.
#pragma once

#include <windows.h>

#include <string>

// Full path of this library's file, or empty.
std::string OwnLibraryPath();

HRESULT RegisterServer();
HRESULT UnregisterServer();

// The type library: from the library's own resource, else from a ".tlb" beside it.
HRESULT RegisterTypeLibrary(const std::string& libraryPath);
HRESULT UnregisterTypeLibrary();
