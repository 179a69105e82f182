/* The contract between the provider and a data-access (DA) module. It compiles as C and as
 * C++; `cmake --install` puts it in include/pipeway/.
 *
 * A DA module is a shared library named after the module, with no "lib" prefix: lumda64.dll on
 * Windows, lumda64.so on POSIX. The provider accepts six module names (lumda64, rukda64,
 * kordo64, tarda64, mivda64, pexda64) and loads the library by full path from the stack's
 * library folder (the registry value "CorvaneLibPath"), never by a search; the module's own
 * dependencies resolve from that folder and the system's. The module exports two C functions
 * named after it:
 *
 *   char* <name>_sendCmd(int argc, char* argv[]);
 *       argv holds argc pointers to NUL-terminated "name=value" tokens, with no terminating
 *       null entry. The tokens belong to the caller and stay valid for the call only. Returns
 *       the module's NUL-terminated answer, which the module allocated, or null for no answer.
 *
 *       The tokens are the client's, as written and in order ("daname" and "velcmd" among
 *       them; each name without its "__xx" marker, names and values without outer blanks),
 *       plus "localLogin=TRUE" at the end when the client gave no "localLogin" token: argc is
 *       one more than the client's count then. A client's array of one element is cut into
 *       tokens as a command-line string is; an array of more elements gives one token per
 *       element, less its outer blanks (a value may hold an "="). A third token
 *       "$$manglevalue=<digit triplets>" arrives decoded, as "value=<bytes>": each triplet is
 *       one byte (its number modulo 256; the digits are not checked) and a zero byte ends the
 *       value. One whose digits are not a multiple of three, or more than 747 of them, arrives
 *       as the client wrote it, undecoded. The rights module rukda64 also receives the
 *       provider's own query, six tokens: "velcmd=getuserrightsonly", "user=DOMAIN\user",
 *       the request's localLogin token, "velusrmask=LoginServlet", "program=vesko",
 *       "makeCmdLogEntry=false"; it answers "<UserRightsMask>N</UserRightsMask>".
 *
 *   void <name>_freeData(char* answer);
 *       Takes back an answer that <name>_sendCmd returned.
 *
 * The caller copies a non-null answer and hands it to <name>_freeData exactly once; a null
 * answer is an empty one and is not handed back. Calls are not serialised: several threads
 * may be inside one module's <name>_sendCmd at once.
 */
#ifndef PIPEWAY_DA_CONTRACT_H
#define PIPEWAY_DA_CONTRACT_H

#define PW_DA_SENDCMD_SUFFIX "_sendCmd"
#define PW_DA_FREEDATA_SUFFIX "_freeData"

typedef char* (*DASendCmdFn)(int argc, char* argv[]);
typedef void (*DAFreeDataFn)(char* answer);

/* Declares an export of the contract: C linkage, visible outside the library. */
#if defined(__cplusplus)
#define PW_DA_LINKAGE extern "C"
#else
#define PW_DA_LINKAGE
#endif
#if defined(_WIN32)
#define PW_DA_EXPORT PW_DA_LINKAGE __declspec(dllexport)
#else
#define PW_DA_EXPORT PW_DA_LINKAGE __attribute__((visibility("default")))
#endif

/* PW_DA_ENTRY(lumda64, _sendCmd) names the export lumda64_sendCmd. */
#define PW_DA_ENTRY_JOIN(name, suffix) name##suffix
#define PW_DA_ENTRY(name, suffix) PW_DA_ENTRY_JOIN(name, suffix)

#endif
