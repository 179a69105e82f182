// The contract between the provider and a data-access (DA) module.
//
// A DA module is a shared library named after the module ("lumda64", "tarda64", ...) and found
// by that bare name on the library search path. It exports two C functions named after it:
//
//   char* <name>_sendCmd(int argc, char* argv[]);
//       argv holds argc pointers to NUL-terminated "name=value" tokens, with no terminating
//       null entry. The tokens belong to the caller and stay valid for the call only. Returns
//       the module's NUL-terminated answer, which the module allocated, or null for no answer.
//
//   void <name>_freeData(char* answer);
//       Takes back an answer that <name>_sendCmd returned.
//
// The caller copies a non-null answer and hands it to <name>_freeData exactly once; a null
// answer is an empty one and is not handed back. Calls are not serialised: several threads
// may be inside one module's <name>_sendCmd at once.
#pragma once

#define PW_DA_SENDCMD_SUFFIX "_sendCmd"
#define PW_DA_FREEDATA_SUFFIX "_freeData"

using DASendCmdFn = char* (*)(int argc, char* argv[]);
using DAFreeDataFn = void (*)(char* answer);

#if defined(_WIN32)
#define PW_DA_EXPORT extern "C" __declspec(dllexport)
#else
#define PW_DA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// PW_DA_ENTRY(lumda64, _sendCmd) names the export lumda64_sendCmd.
#define PW_DA_ENTRY_JOIN(name, suffix) name##suffix
#define PW_DA_ENTRY(name, suffix) PW_DA_ENTRY_JOIN(name, suffix)
