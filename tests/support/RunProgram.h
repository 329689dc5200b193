// Runs a program as its own process for the end-to-end tests: arguments
// passed as they are (no shell), in a given working folder, with a given
// system temporary folder, standard output and error into files and nothing
// on standard input.
#pragma once

#include <string>
#include <vector>

#include "Platform.h"

#ifdef _WIN32
#include "TestFileSystem.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testproc {

struct Run {
  std::string program;
  std::vector<std::string> args;
  std::string cwd;
  std::string tmp; // the system's temporary folder for the program
  std::string outFile, errFile;
};

#ifdef _WIN32

// One argument as CommandLineToArgvW reads it back: quoted, with the
// backslashes before a quotation mark doubled.
inline std::wstring QuoteArg(const std::wstring &a) {
  std::wstring q = L"\"";
  size_t slashes = 0;
  for (wchar_t c : a) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    q.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    q += c;
  }
  q.append(2 * slashes, L'\\');
  return q + L"\"";
}

// Returns the exit status, or -1 when the program could not be run.
inline int RunProgram(const Run &r) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  auto open = [&](const std::string &path, DWORD access, DWORD disposition) {
    return ::CreateFileW(testfs::Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE in = open("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = open(r.outFile, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = open(r.errFile, GENERIC_WRITE, CREATE_ALWAYS);
  std::wstring cmd = QuoteArg(testfs::Wide(r.program));
  for (const auto &a : r.args)
    cmd += L" " + QuoteArg(testfs::Wide(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  // The child inherits this process's environment with the temporary folder changed.
  std::string oldTmp;
  const bool hadTmp = platform::GetEnv(platform::TempDirVariable, oldTmp);
  platform::SetEnv(platform::TempDirVariable, r.tmp);
  const bool started =
      in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
      ::CreateProcessW(testfs::Wide(r.program).c_str(), cmd.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, testfs::Wide(r.cwd).c_str(), &si, &pi);
  if (hadTmp)
    platform::SetEnv(platform::TempDirVariable, oldTmp);
  else
    platform::UnsetEnv(platform::TempDirVariable);
  for (HANDLE h : {in, out, err})
    if (h != INVALID_HANDLE_VALUE)
      ::CloseHandle(h);
  if (!started)
    return -1;
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD status = 0;
  const bool ok = ::GetExitCodeProcess(pi.hProcess, &status);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return ok ? static_cast<int>(status) : -1;
}

#else

// Returns the exit status, or -1 when the program could not be run or did not exit.
inline int RunProgram(const Run &r) {
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(r.program.c_str()));
  for (const auto &a : r.args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0)
    return -1;
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(r.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(r.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(r.cwd.c_str()) != 0 ||
        ::setenv(platform::TempDirVariable, r.tmp.c_str(), 1) != 0)
      ::_exit(127);
    ::execv(r.program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

} // namespace testproc
