// The stack's install root, as its common-services library "kordo64" reports it.
#pragma once

#include <optional>
#include <string>

// Binds the library on the first call (and on later calls while it cannot be bound). Gives
// nothing when the library or one of its two exports is missing, or when it reports no root.
std::optional<std::string> GetRootInstallPath();
