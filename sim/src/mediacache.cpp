// SPDX-License-Identifier: MIT
#include "mediacache.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <ctime>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "childprocess.h"

namespace vantorsim {

namespace {

// Bump when the recipe changes, so that an old cached file is not served.
const char* const MediaName = "chunk-v1-testsrc2-640x360-25fps-10s.mp4";

} // namespace

MediaCache::MediaCache(std::string folder, std::string ffmpeg)
    : m_folder(folder.empty() ? defaultFolder() : std::move(folder)), m_ffmpeg(std::move(ffmpeg))
{
    m_path = m_folder + "/" + MediaName;
}

MediaCache::~MediaCache()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::string MediaCache::defaultFolder()
{
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/vantor-sim";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.cache/vantor-sim";
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir)
        return std::string(user->pw_dir) + "/.cache/vantor-sim";
    // No home at all: a private folder of this run, never a fixed name in the shared /tmp, where
    // anyone could plant the file served as media.
    std::string folder = "/tmp/vantor-sim-XXXXXX";
    if (::mkdtemp(folder.data()))
        return folder;
    std::fprintf(stderr, "vantor-sim: cannot create a private media folder in /tmp: %s\n", std::strerror(errno));
    return ".";
}

std::shared_ptr<const std::string> MediaCache::media(std::chrono::milliseconds timeout, std::string& error)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started) {
        m_started = true;
        m_thread = std::thread([this] { generate(); });
    }
    if (!m_done.wait_for(lock, timeout, [this] { return m_finished; })) {
        error = "the media file is still being made";
        return nullptr;
    }
    error = m_error;
    return m_bytes;
}

void MediaCache::generate()
{
    std::string error;
    struct stat st
    {
    };
    bool ok = ::stat(m_path.c_str(), &st) == 0 && st.st_size > 0;
    if (!ok && makeFolders(m_folder, error)) {
        removeStaleLeftovers();
        // Made under a private, unguessable name and renamed, so that simulators starting together
        // never serve a half-written file and nobody can put a link in its place beforehand.
        std::string temp = m_folder + "/.making-XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) {
            error = "cannot create a file in " + m_folder + ": " + std::strerror(errno);
            temp.clear();
        } else {
            ::close(fd);
            ok = runFfmpeg(temp, "libx264", error) || runFfmpeg(temp, "mpeg4", error);
        }
        if (ok && std::rename(temp.c_str(), m_path.c_str()) != 0) {
            error = "cannot rename " + temp + ": " + std::strerror(errno);
            ok = false;
        }
        if (ok)
            std::fprintf(stderr, "vantor-sim: made the chunk media %s\n", m_path.c_str());
        else if (!temp.empty())
            std::remove(temp.c_str());
    }
    std::shared_ptr<std::string> bytes;
    if (ok) {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        if (in.bad() || buffer.str().empty()) {
            error = "cannot read " + m_path;
            ok = false;
        } else {
            bytes = std::make_shared<std::string>(buffer.str());
        }
    }
    if (!ok)
        std::fprintf(stderr, "vantor-sim: error: no media for recorded chunks (%s); media requests get 503\n",
                     error.c_str());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bytes = std::move(bytes);
    m_error = ok ? std::string() : error;
    m_finished = true;
    m_done.notify_all();
}

void MediaCache::removeStaleLeftovers()
{
    // Files of simulators that were killed while making theirs.
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir)
        return;
    const time_t now = ::time(nullptr);
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(".making-", 0) != 0)
            continue;
        const std::string path = m_folder + "/" + name;
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0 && now - st.st_mtime > 600)
            std::remove(path.c_str());
    }
    ::closedir(dir);
}

bool MediaCache::runFfmpeg(const std::string& target, const char* codec, std::string& error)
{
    const std::vector<std::string> args = {
        m_ffmpeg,    "-hide_banner", "-loglevel", "error", "-nostdin",
        "-y",        "-f",           "lavfi",     "-i",    "testsrc2=size=640x360:rate=25",
        "-t",        "10",           "-c:v",      codec,   "-preset",
        "veryfast",  "-pix_fmt",     "yuv420p",   "-g",    "25",
        "-movflags", "+faststart",   "-f",        "mp4",   target};
    if (runProgram(args, nullptr, error))
        return true;
    error = "cannot make the media file with codec " + std::string(codec) + ": " + error;
    return false;
}

} // namespace vantorsim
