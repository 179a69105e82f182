// Registration of the COM server: the AppID and class entries written directly into the
// classes root, and the type library.
#pragma once

#include <windows.h>

#include <string>

// Full path of this library's file, or empty.
std::string OwnLibraryPath();

// Writes one string value under the classes root (`name` null: the key's default value),
// creating the key.
HRESULT SetClassesRootString(const std::string& keyPath, const char* name,
                             const std::string& value);

HRESULT RegisterServer();
HRESULT UnregisterServer();

// The type library: from the library's own resource, else from a ".tlb" beside it.
HRESULT RegisterTypeLibrary(const std::string& libraryPath);
HRESULT UnregisterTypeLibrary();
