// SPDX-License-Identifier: MIT
// The media file served for every recorded chunk: a few seconds of test video made once with
// ffmpeg and kept in a cache folder, so later runs start at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vantorsim {

class MediaCache
{
public:
    MediaCache(std::string folder, std::string ffmpeg);
    ~MediaCache();

    MediaCache(const MediaCache&) = delete;
    MediaCache& operator=(const MediaCache&) = delete;

    // Waits up to `timeout` for the file. Gives its bytes, or null with the reason in `error`. The
    // first call starts making the file (on a thread of its own) when it is not in the cache yet,
    // so simulators that never serve media never run ffmpeg.
    std::shared_ptr<const std::string> media(std::chrono::milliseconds timeout, std::string& error);

    std::string path() const { return m_path; }
    std::string folder() const { return m_folder; }

    // The default folder: $XDG_CACHE_HOME/vantor-sim, else ~/.cache/vantor-sim, else a private
    // folder of this run in /tmp.
    static std::string defaultFolder();

private:
    void generate();
    void removeStaleLeftovers();
    bool runFfmpeg(const std::string& target, const char* codec, std::string& error);

    std::string m_folder;
    std::string m_ffmpeg;
    std::string m_path;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_started = false;
    bool m_finished = false;
    std::shared_ptr<const std::string> m_bytes;
    std::string m_error;
};

} // namespace vantorsim
