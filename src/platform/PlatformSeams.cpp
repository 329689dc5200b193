#include "PlatformSeams.h"

#include <utility>

namespace platform {

namespace {

struct Injection {
  Op op = Op::Any;
  int countdown = -1;
};
Injection g_injection;

struct Hook {
  Op op = Op::Any;
  CallHook run;
};
Hook g_hook;
// A hook that itself opens or renames files does not call itself again.
thread_local bool g_inHook = false;

} // namespace

void InjectFailure(Op op, int countdown) {
  g_injection = {op, countdown};
}

void SetCallHook(Op op, CallHook hook) {
  g_hook = {op, std::move(hook)};
}

void ClearInjectedFailures() {
  g_injection = {};
  g_hook = {};
}

namespace seams {

bool Injected(Op op) {
  if (g_injection.countdown < 0)
    return false;
  if (g_injection.op != Op::Any && g_injection.op != op)
    return false;
  if (g_injection.countdown > 0) {
    --g_injection.countdown;
    return false;
  }
  g_injection.countdown = -1;
  return true;
}

void BeforeCall(Op op, const std::string &path, const std::string &other) {
  if (!g_hook.run || g_inHook || (g_hook.op != Op::Any && g_hook.op != op))
    return;
  const CallHook run = g_hook.run; // the hook may replace itself
  g_inHook = true;
  run(op, path, other);
  g_inHook = false;
}

} // namespace seams

} // namespace platform
