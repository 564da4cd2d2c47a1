// SPDX-License-Identifier: MIT
// Recorded chunks cut from a numbered test stream (bench/framecode.py): the frame a chunk shows at
// moment T (milliseconds since the epoch) carries the number floor(T / 40) mod F, F the frames of
// the file, so that every station shows every camera's moment T as the same number. Slices are
// made by ffmpeg on a worker thread and kept in the media folder.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace vantorsim {

// The frames of a looping file of `fileFrames` frames (25 a second) that the chunk
// [startMs, endMs) shows: `frames` of them from `firstFrame` on, wrapping to frame 0 after the
// last. The first shows for 40 − firstFrameCutMs ms (the chunk starts within it), every other one
// for 40 ms, so that each frame's time lies on the 40 ms grid of the epoch.
struct NumberedSlice
{
    std::int64_t firstFrame = 0;
    std::int64_t frames = 0;
    int firstFrameCutMs = 0;

    bool operator==(const NumberedSlice& o) const
    {
        return firstFrame == o.firstFrame && frames == o.frames && firstFrameCutMs == o.firstFrameCutMs;
    }
};

constexpr std::int64_t numberedFrameMs = 40;

// `fileFrames` > 0; a chunk of no length still shows one frame.
NumberedSlice numberedSlice(std::int64_t startMs, std::int64_t endMs, std::int64_t fileFrames);

class NumberedMedia
{
public:
    NumberedMedia(std::string file, std::string folder, std::string ffmpeg);
    ~NumberedMedia();

    NumberedMedia(const NumberedMedia&) = delete;
    NumberedMedia& operator=(const NumberedMedia&) = delete;

    // The media of the chunk [startMs, endMs): at once when its slice is in the folder already,
    // else after waiting up to `timeout` for the worker to make it. Null with the reason in `error`
    // when it cannot be made (no ffmpeg, a file that is not 25 frames a second...), when it is not
    // made in time, or when too many requests wait already.
    std::shared_ptr<const std::string> chunk(std::int64_t startMs, std::int64_t endMs,
                                             std::chrono::milliseconds timeout, std::string& error);

    // Ends the waits and the work in progress: requests waiting get an error at once, so that the
    // gateways can stop without waiting for ffmpeg.
    void stop();

    // Chunks longer than this are refused rather than cut (an hour: a minute of ffmpeg's work).
    static constexpr std::int64_t maxFrames = 25 * 3600;

private:
    struct Job
    {
        std::int64_t startMs = 0;
        std::int64_t endMs = 0;
        bool done = false;
        std::string path;
        std::string error;
    };
    // What the worker learnt of the file from ffprobe.
    struct Facts
    {
        std::string identity; // changes with the file's path, size and time
        std::int64_t frames = 0;
        std::string bitrate; // bits per second, for re-encoded slices
        std::vector<bool> keyFrames;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;
    };

    void work();
    bool learnFile(std::string& error);
    bool make(const Job& job, std::string& path, std::string& error);
    std::string slicePath(const Facts& facts, const NumberedSlice& slice) const;
    std::string ffprobe() const;

    const std::string m_file;
    const std::string m_folder;
    const std::string m_ffmpeg;
    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Job>> m_queue;
    std::map<std::pair<std::int64_t, std::int64_t>, std::shared_ptr<Job>> m_pending;
    std::optional<Facts> m_facts;
    int m_waiting = 0;
    bool m_stopping = false;
    std::atomic<pid_t> m_running{-1};
};

} // namespace vantorsim
