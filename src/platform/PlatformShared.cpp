// The parts of the platform layer that are the same on every system: the
// test seams (injected failures, the hook before a call) and what is built
// from each side's own calls.
#include "PlatformShared.h"

#include <csignal>
#include <random>
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

namespace detail {

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
  SetLastError(ErrIO);
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

std::string RandomName(int length) {
  // One generator per thread: threads that make temporary names draw them apart.
  thread_local std::mt19937 gen(std::random_device{}());
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<int> pick(0, 35);
  std::string s;
  for (int i = 0; i < length; ++i)
    s += letters[pick(gen)];
  return s;
}

} // namespace detail

Handle Open(const std::string &path, OpenMode mode) {
  return Open(path, mode, nullptr);
}

namespace {

// Repeats `once(p, n, offset)` until `count` bytes came or the file ended: the
// number read, or -1 on failure.
template <class ReadOnce> int64_t ReadFully(void *buf, int64_t count, ReadOnce once) {
  if (detail::Injected(Op::Read))
    return -1;
  char *p = static_cast<char *>(buf);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = once(p + done, count - done, done);
    if (n < 0)
      return -1;
    if (n == 0)
      break;
    done += n;
  }
  return done;
}

} // namespace

int64_t Read(Handle h, void *buf, int64_t count) {
  return ReadFully(buf, count,
                   [h](char *p, int64_t n, int64_t) { return detail::ReadOnce(h, p, n); });
}

int64_t ReadAt(Handle h, void *buf, int64_t count, int64_t at) {
  return ReadFully(buf, count, [h, at](char *p, int64_t n, int64_t done) {
    return detail::ReadOnceAt(h, p, n, at + done);
  });
}

bool Write(Handle h, const void *buf, int64_t count) {
  if (detail::Injected(Op::Write))
    return false;
  const char *p = static_cast<const char *>(buf);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = detail::WriteOnce(h, p + done, count - done);
    if (n < 0)
      return false;
    done += n;
  }
  return true;
}

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

std::string InterruptionName(int signal) {
  switch (signal) {
  case SIGINT:
    return "SIGINT";
  case SIGTERM:
    return "SIGTERM";
#ifdef SIGHUP
  case SIGHUP:
    return "SIGHUP";
#endif
#ifdef SIGBREAK
  case SIGBREAK: // Ctrl+Break in a Windows console
    return "SIGBREAK";
#endif
  default:
    return std::to_string(signal);
  }
}

bool CopyPlainFile(const std::string &from, const std::string &to) {
  Handle in = Open(from, OpenMode::Read);
  if (in == InvalidHandle)
    return false;
  Handle out = Open(to, OpenMode::Create);
  if (out == InvalidHandle) {
    const int e = LastError();
    Close(in);
    SetLastError(e);
    return false;
  }
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    const int64_t n = Read(in, buf.data(), static_cast<int64_t>(buf.size()));
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0)
      break;
    if (!Write(out, buf.data(), n)) {
      ok = false;
      break;
    }
  }
  const int e = LastError();
  Close(in);
  if (!ok) {
    Close(out);
    SetLastError(e);
    return false;
  }
  return Close(out); // a failure to close leaves its own reason
}

} // namespace platform
