// The control export of the test DA modules: long <name>_testControl(int request, const char*).
#pragma once

enum class TestDAMode { kEcho, kNull, kFixed };

enum class TestDARequest {
    kSetEcho = 1,       // answer with the tokens received, one per line
    kSetNull = 2,       // answer null
    kSetFixed = 3,      // answer with the text given
    kSendCount = 4,     // how often sendCmd ran
    kFreeCount = 5,     // how often freeData ran
    kBadFreeCount = 6,  // freeData calls with a pointer that was not an outstanding answer
    kOutstanding = 7,   // answers handed out and not yet taken back
    kReset = 8,
    kImpersonatingCalls = 9,    // sendCmd calls made while the thread impersonated its client
    kLastArgs = 10,             // the last call's tokens, one per line, into the buffer given
    kLoadedImpersonating = 11,  // 1 when the library was loaded while impersonating a client
    kCloseGate = 12,            // from now on sendCmd waits at the gate until it opens
    kOpenGate = 13,             // lets every waiting and later sendCmd through
    kWaiting = 14,              // waits for a sendCmd call at the gate; the calls waiting there
    kOnUnload = 15,             // `text` points to a TestDAUnloadHook, called as the module unloads
};

// What the module calls while it is being unloaded (from its static objects' teardown).
struct TestDAUnloadHook {
    void (*call)(void* context);
    void* context;
};

constexpr unsigned long kLastArgsBufferSize = 4096;

using TestDAControlFn = long (*)(int request, const char* text);
