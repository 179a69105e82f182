// A library that the module of the BROKEN_UNRESOLVED variant imports from on Windows, built
// into a folder of its own where the loader never looks.
extern "C" __declspec(dllexport) void pw_broken_nowhere() {}
