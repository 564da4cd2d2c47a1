// SPDX-License-Identifier: MIT
// Live video of the site's cameras, as their gateways send it: H.264 in an MPEG transport stream
// at its real rate. Each picture is encoded once into a short loop in the media folder; while
// anyone watches, one ffmpeg per stream (main or sub) sends the loop over and over without
// re-encoding, and every viewer of that stream gets the same bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "site.h"

namespace vantorsim {

class LiveFeed;

// One viewer of a stream: the bytes the feed sent since it joined, whole transport stream packets.
// Dropping the last viewer of a stream stops its ffmpeg.
class LiveViewer
{
public:
    LiveViewer(std::shared_ptr<LiveFeed> feed, int id);
    ~LiveViewer();

    LiveViewer(const LiveViewer&) = delete;
    LiveViewer& operator=(const LiveViewer&) = delete;

    // Appends what has come to `data`, waiting up to `wait` when nothing has. False once the feed
    // has ended, or dropped this viewer for not reading, and everything was taken.
    bool take(std::string& data, std::chrono::milliseconds wait);

private:
    std::shared_ptr<LiveFeed> m_feed;
    int m_id;
};

class LiveVideo
{
public:
    // `site` must outlive this; only its never-changing `live` map is read.
    LiveVideo(const Site& site, std::string folder, std::string ffmpeg);
    ~LiveVideo();

    LiveVideo(const LiveVideo&) = delete;
    LiveVideo& operator=(const LiveVideo&) = delete;

    bool sends(ObjectId stream, bool sub) const;

    // A new viewer of the stream's main or sub picture, starting its feed when it is the first.
    // Waits up to `timeout` for the picture's loop when it is not made yet. Null, with the reason in
    // `error`, when the loop cannot be made or ffmpeg not started.
    std::shared_ptr<LiveViewer> watch(ObjectId stream, bool sub, std::chrono::milliseconds timeout, std::string& error);

    // Requests that wait for loops get an error at once; feeds end as their viewers go.
    void stop();

    // The loop of a picture: 10 s, 25 frames a second, a key frame every second, no B-frames.
    static constexpr int loopSeconds = 10;

private:
    struct Loop
    {
        std::string path;
        std::string graph; // the ffmpeg filter graph that draws it
        int kbps = 0;
        bool done = false;
        bool queued = false;
        bool wanted = false; // a request waits for it
        std::string error;
    };

    std::shared_ptr<Loop> loopOf(const LiveSource& source, bool sub);
    void queue(const std::shared_ptr<Loop>& loop, bool wanted);
    void makeLoops();
    bool makeLoop(const Loop& loop, std::string& error);

    const Site& m_site;
    const std::string m_folder;
    const std::string m_ffmpeg;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, std::shared_ptr<Loop>> m_loops; // by path
    std::deque<std::shared_ptr<Loop>> m_toMake;
    std::map<std::pair<ObjectId, bool>, std::weak_ptr<LiveFeed>> m_feeds;
    std::thread m_maker;
    bool m_warmed = false; // every picture of the site is queued, once a first one was asked for
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_makerDone{false};
    std::atomic<pid_t> m_making{-1};
};

} // namespace vantorsim
