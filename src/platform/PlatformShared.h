// What both sides of the platform layer share; not for use above the layer.
#pragma once

#include <string>

#include "Platform.h"

namespace platform::detail {

// True when the injected failure fires for this call of `op`; the last error
// is then ErrIO.
bool Injected(Op op);
// Runs the hook a test set for `op`, if any (SetCallHook), just before the call.
void BeforeCall(Op op, const std::string &path, const std::string &other = {});

// `length` random letters and digits, for names of new temporary files and folders.
std::string RandomName(int length);

// One read or write of each side: the number of bytes moved (0 at the end of
// a file), or -1 with the reason in LastError(). Read and Write repeat them.
int64_t ReadOnce(Handle h, void *buf, int64_t count);
int64_t ReadOnceAt(Handle h, void *buf, int64_t count, int64_t at);
int64_t WriteOnce(Handle h, const void *buf, int64_t count);

} // namespace platform::detail
