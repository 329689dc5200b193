// The zepconv command line over the conversion engine. Messages of the engine
// go to the error stream, questions are answered from the options (never
// from standard input), per-file results and summaries go to the output
// stream, as plain lines or, with --json, as one JSON object per line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit statuses.
inline constexpr int ExitOk = 0;
// A conversion failed or was refused, a file was skipped, a check failed.
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2; // bad usage
// Stopped by a signal: this plus the signal's number (130 for SIGINT).
inline constexpr int ExitInterrupted = 128;

// Runs the command `args` (without the program name). `errColumns` is the
// width of the terminal `err` writes to, 0 when it is none: the progress
// display of `mass` is shown only on a terminal.
int ZepMain(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
            int errColumns = 0);
