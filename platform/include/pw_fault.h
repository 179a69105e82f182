// POSIX only, for tests: fault injection. Off unless a test arms it. Once armed, the platform
// counts the calls of the kinds given, on every thread, and makes the k-th fail as Windows
// reports that failure, so that a test can drive an operation through each of its failure
// paths in turn.
#pragma once

#include <windows.h>

extern "C" {

// The kinds of calls that can be made to fail.
enum PwFaultKind : unsigned {
    // SysAllocString(Len) (and so a BSTR element's copy), SafeArrayCreate(Vector)
    PW_FAULT_ALLOCATION = 1u,
    // CoImpersonateClient, CoRevertToSelf
    PW_FAULT_IMPERSONATION = 2u,
    // RegOpenKeyExA, RegQueryValueExA; RegCreateKeyExA, RegSetValueExA, RegDeleteTreeA
    PW_FAULT_REGISTRY = 4u,
    // LoadLibraryA, GetProcAddress
    PW_FAULT_LOADING = 8u,
    // GetUserNameExW
    PW_FAULT_USER_NAME = 16u,
    // MultiByteToWideChar, WideCharToMultiByte
    PW_FAULT_CONVERSION = 32u,
    // RegisterEventSourceW, ReportEventW
    PW_FAULT_EVENT_LOG = 256u,
    PW_FAULT_ALL = 63u | 256u,
    // Counted where a test program asks (PwFaultCall): its own operator new and calloc
    PW_FAULT_MEMORY = 64u,
    // Counted where a test program asks: its own fopen (the trace log, the exclusion file)
    PW_FAULT_FILE_OPEN = 128u
};

// Counts from now the calls of `kinds`; the `failAt`-th of them (from 1) fails, and only that
// one. With `failAt` 0 nothing fails: the calls are only counted.
PW_PLATFORM_API void WINAPI PwArmFaults(unsigned kinds, long failAt);
// Stops counting; returns how many calls were counted since arming.
PW_PLATFORM_API long WINAPI PwDisarmFaults(void);
// Counts a call of this kind made outside the platform (while armed); TRUE when it is the one
// to fail. Allocates nothing, so that an operator new may ask it.
PW_PLATFORM_API BOOL WINAPI PwFaultCall(unsigned kind);

// Called by ReportEventW on the reporting thread, once the report is accepted and before it is
// written: a test sees what else can run while a report is being made. Null: none.
typedef void(WINAPI* PwEventReportHook)(void* context);
PW_PLATFORM_API void WINAPI PwSetEventReportHook(PwEventReportHook hook, void* context);

}  // extern "C"
