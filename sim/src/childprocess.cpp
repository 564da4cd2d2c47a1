// SPDX-License-Identifier: MIT
#include "childprocess.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantorsim {

namespace {

// What a program may write on standard output before it counts as a failure (ffprobe's packet
// list of a long file is a few megabytes), and how much of its messages are kept.
constexpr std::size_t maxOutput = 64 * 1024 * 1024;
constexpr std::size_t keptMessages = 8 * 1024;

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

bool startChild(const std::vector<std::string>& args, bool keepOutput, ChildProcess& child, std::string& error)
{
    child = ChildProcess();
    if (args.empty()) {
        error = "no program to run";
        return false;
    }
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if ((keepOutput && ::pipe2(out, O_CLOEXEC) != 0) || ::pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        closeFd(out[0]);
        closeFd(out[1]);
        return false;
    }
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (keepOutput)
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The gateways' listening sockets must not live on in a program that outlasts the simulator.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    // A child of its own process group: a terminal's Ctrl+C stops the simulator, which stops it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none, defaults;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE); // the simulator ignores it; ffmpeg must stop on a closed pipe
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    closeFd(out[1]);
    closeFd(err[1]);
    if (rc != 0) {
        error = "cannot run " + args[0] + ": " + std::strerror(rc);
        closeFd(out[0]);
        closeFd(err[0]);
        return false;
    }
    child.pid = pid;
    child.output = out[0];
    child.errors = err[0];
    return true;
}

void readChild(ChildProcess& child, const std::function<bool(const char*, std::size_t)>& onOutput,
               std::string& messages)
{
    std::vector<char> buffer(64 * 1024);
    while (child.output >= 0 || child.errors >= 0) {
        pollfd fds[2];
        nfds_t count = 0;
        for (int fd : {child.output, child.errors})
            if (fd >= 0)
                fds[count++] = {fd, POLLIN, 0};
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            int& fd = fds[i].fd == child.output ? child.output : child.errors;
            if (n <= 0) {
                closeFd(fd);
                continue;
            }
            if (fd == child.output) {
                if (!onOutput(buffer.data(), std::size_t(n)))
                    closeFd(fd);
                continue;
            }
            messages.append(buffer.data(), std::size_t(n));
            if (messages.size() > 2 * keptMessages)
                messages.erase(0, messages.size() - keptMessages);
        }
    }
    closeFd(child.output);
    closeFd(child.errors);
}

bool runProgram(const std::vector<std::string>& args, std::string* output, std::string& error,
                std::atomic<pid_t>* running, bool inBackground)
{
    ChildProcess child;
    if (!startChild(args, output != nullptr, child, error))
        return false;
    if (inBackground)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(child.pid), 10);
    if (running)
        running->store(child.pid);
    std::string messages;
    bool tooMuch = false;
    readChild(
        child,
        [&](const char* data, std::size_t size) {
            if (output->size() + size > maxOutput) {
                tooMuch = true;
                ::kill(child.pid, SIGKILL);
                return false;
            }
            output->append(data, size);
            return true;
        },
        messages);
    closeFd(child.output);
    closeFd(child.errors);
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (running)
        running->store(-1);
    if (tooMuch) {
        error = args[0] + " wrote more than " + std::to_string(maxOutput) + " bytes";
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    const std::string said = lastLine(messages);
    if (WIFSIGNALED(status))
        error = args[0] + " was stopped by signal " + std::to_string(WTERMSIG(status));
    else
        error = args[0] + " failed (exit code " + std::to_string(WEXITSTATUS(status)) + ")";
    if (!said.empty())
        error += ": " + said;
    return false;
}

std::string lastLine(const std::string& text)
{
    std::size_t end = text.find_last_not_of(" \r\n\t");
    if (end == std::string::npos)
        return {};
    const std::size_t start = text.find_last_of('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end + 1 - (start == std::string::npos ? 0 : start + 1));
}

bool makeFolders(const std::string& path, std::string& error)
{
    std::string partial;
    std::stringstream parts(path);
    std::string part;
    if (!path.empty() && path[0] == '/')
        partial = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty())
            continue;
        partial += part + "/";
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            error = "cannot create " + partial + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void joinProgramWorker(std::thread& worker, const std::atomic<bool>& done, const std::atomic<pid_t>& running)
{
    while (worker.joinable() && !done) {
        if (const pid_t child = running.load(); child > 0)
            ::kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (worker.joinable())
        worker.join();
}

} // namespace vantorsim
