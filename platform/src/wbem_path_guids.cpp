// The IDs of the object-path parser's interfaces and class. The Windows headers declare them
// but no Windows import library defines them, so this project does, once: on POSIX inside
// pwplatform, on Windows in the small library pwwinguids.
#include <windows.h>
#include <wbemidl.h>
#include <wmiutils.h>

extern "C" {

const IID IID_IWbemPath = {
    0x3bc15af2, 0x736c, 0x477e, {0x9e, 0x51, 0x23, 0x8a, 0xf8, 0x66, 0x7d, 0xcc}};
const IID IID_IWbemPathKeyList = {
    0x9ae62877, 0x7544, 0x4bb0, {0xaa, 0x26, 0xa1, 0x38, 0x24, 0x65, 0x9e, 0xd6}};
const CLSID CLSID_WbemDefPath = {
    0xcf4cc405, 0xe2c5, 0x4ddd, {0xb3, 0xce, 0x5e, 0x75, 0x82, 0xd8, 0xc9, 0xfa}};

}  // extern "C"
