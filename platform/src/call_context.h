// What the rest of the platform asks of the calling thread's client call context.
#pragma once

namespace pwplatform {

// Whether the thread impersonates a client now; every client of the stand-in is a remote one
// that is not an administrator.
bool ImpersonatingRemoteNonAdministrator();

}  // namespace pwplatform
