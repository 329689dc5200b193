// The test seams of the platform layer, shared by its POSIX and Windows sides:
// each system call wrapper asks here first whether a test wants it to fail or
// wants to change the file system just before it.
#pragma once

#include <string>

#include "Platform.h"

namespace platform::seams {

// True when an injected failure strikes this call of `op` (InjectFailure);
// the caller then fails with an I/O error.
bool Injected(Op op);
// Runs the hook a test set for `op`, if any (SetCallHook).
void BeforeCall(Op op, const std::string &path, const std::string &other = {});

} // namespace platform::seams
