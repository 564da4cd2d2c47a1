// SPDX-License-Identifier: MIT
// The programs the simulator runs (ffmpeg, ffprobe): started without a shell, standard input on
// /dev/null, none of the simulator's own sockets or files open in them.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <cstddef>
#include <sys/types.h>

namespace vantorsim {

struct ChildProcess
{
    pid_t pid = -1;
    int output = -1; // read end of its standard output; -1 when it goes to /dev/null
    int errors = -1; // read end of its standard error
};

// Starts args[0] (looked up on PATH) with the rest as its arguments. Both read ends are
// close-on-exec and the caller's to close; the caller also reaps the child.
bool startChild(const std::vector<std::string>& args, bool keepOutput, ChildProcess& child, std::string& error);

// Reads a started child's standard output and error until both end, then closes both read ends.
// Each piece of its output goes to `onOutput`; false from it closes the output (nothing more is
// read there). Its standard error is kept in `messages`, the last few kilobytes of it.
void readChild(ChildProcess& child, const std::function<bool(const char*, std::size_t)>& onOutput,
               std::string& messages);

// Runs a program to its end. Keeps its standard output in `output` when given; on failure `error`
// says what failed, with the last line the program wrote on standard error. While it runs its
// process id is in `running` (if given), so that another thread can stop it. Work nobody waits
// for runs `inBackground`, at a lower priority.
bool runProgram(const std::vector<std::string>& args, std::string* output, std::string& error,
                std::atomic<pid_t>* running = nullptr, bool inBackground = false);

// The last non-empty line of a program's messages, for error texts.
std::string lastLine(const std::string& text);

// Creates a folder and its parents.
bool makeFolders(const std::string& path, std::string& error);

// Ends a worker thread that runs programs one after another, once it has been told to stop: the
// worker may have been between two programs when it was told, so the program it runs is killed
// until the worker says it is done; then it is joined.
void joinProgramWorker(std::thread& worker, const std::atomic<bool>& done, const std::atomic<pid_t>& running);

} // namespace vantorsim
