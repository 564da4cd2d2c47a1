// SPDX-License-Identifier: MIT
#include "livevideo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "childprocess.h"

namespace vantorsim {

namespace {

constexpr std::size_t packetSize = 188; // of an MPEG transport stream
// What a viewer may leave unread (about 25 s of a 2.5 Mbit/s stream) before it is dropped: a
// player that stops reading must not make the simulator hold its stream for ever.
constexpr std::size_t maxUnread = 8 * 1024 * 1024;

std::string hex64(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::uint64_t fnv1a(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string escaped(const std::string& text, const char* special)
{
    std::string out;
    for (char c : text) {
        if (std::strchr(special, c))
            out += '\\';
        out += c;
    }
    return out;
}

// A text as the value of a filter's option inside a filter graph: escaped for the option, then for
// the graph, so that any camera name is drawn as it is.
std::string filterText(const std::string& text)
{
    return escaped(escaped(text, "\\':"), "\\'[],;");
}

std::string pictureSource(const std::string& picture, int width, int height)
{
    std::string source = picture + "=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=25";
    if (picture == "life")
        source += ":mold=10:ratio=0.1"; // cells that fade, not a frozen field
    return source;
}

bool fileExists(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

} // namespace

// One ffmpeg sending a loop at its real rate, and what each viewer has not taken yet.
class LiveFeed
{
public:
    explicit LiveFeed(std::string label) : m_label(std::move(label)) {}
    ~LiveFeed();

    bool start(const std::string& ffmpeg, const std::string& loop, std::string& error);
    int join();
    void leave(int id);
    bool take(int id, std::string& data, std::chrono::milliseconds wait);
    bool ended()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ended;
    }

private:
    void read();
    void send(std::string&& packets);
    void end(const std::string& why);

    struct Unread
    {
        std::deque<std::string> chunks;
        std::size_t bytes = 0;
        bool started = false; // it starts at a key frame, with the stream's tables before it
        bool dropped = false;
    };

    const std::string m_label;
    std::atomic<bool> m_stopping{false}; // its ffmpeg is killed because nobody watches
    ChildProcess m_child;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::map<int, Unread> m_viewers;
    int m_nextId = 1;
    // The program tables (PAT, PMT) sent since the last picture packet: ffmpeg sends them right
    // before each key frame, where a new viewer starts. Only the reader thread uses these two.
    std::string m_tables;
    int m_pmtPid = -1;
    bool m_ended = false;
};

LiveFeed::~LiveFeed()
{
    m_stopping = true;
    if (m_child.pid > 0)
        ::kill(m_child.pid, SIGKILL); // a copy to a pipe has nothing to finish
    if (m_reader.joinable())
        m_reader.join();
    if (m_child.pid > 0) {
        while (::waitpid(m_child.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        std::fprintf(stderr, "vantor-sim: live %s stopped: nobody watches\n", m_label.c_str());
    }
}

bool LiveFeed::start(const std::string& ffmpeg, const std::string& loop, std::string& error)
{
    const std::vector<std::string> args = {ffmpeg,         "-hide_banner", "-loglevel", "error",  "-nostdin", "-re",
                                           "-stream_loop", "-1",           "-i",        loop,     "-map",     "0:v:0",
                                           "-c",           "copy",         "-f",        "mpegts", "pipe:1"};
    if (!startChild(args, true, m_child, error))
        return false;
    std::fprintf(stderr, "vantor-sim: live %s started (ffmpeg %d)\n", m_label.c_str(), int(m_child.pid));
    m_reader = std::thread([this] { read(); });
    return true;
}

int LiveFeed::join()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int id = m_nextId++;
    m_viewers[id];
    return id;
}

void LiveFeed::leave(int id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_viewers.erase(id);
}

bool LiveFeed::take(int id, std::string& data, std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto viewer = m_viewers.find(id);
    if (viewer == m_viewers.end())
        return false;
    Unread& unread = viewer->second;
    m_arrived.wait_for(lock, wait, [&] { return !unread.chunks.empty() || unread.dropped || m_ended; });
    for (auto& chunk : unread.chunks)
        data += chunk;
    unread.chunks.clear();
    unread.bytes = 0;
    return !data.empty() || !(unread.dropped || m_ended);
}

void LiveFeed::read()
{
    std::string pending, messages;
    readChild(
        m_child,
        [&](const char* data, std::size_t size) {
            // Whole packets only, so that a viewer that joins later starts on a packet.
            pending.append(data, size);
            const std::size_t whole = pending.size() / packetSize * packetSize;
            if (whole > 0) {
                send(pending.substr(0, whole));
                pending.erase(0, whole);
            }
            return true;
        },
        messages);
    const std::string said = lastLine(messages);
    end(said.empty() ? "ffmpeg ended" : "ffmpeg ended: " + said);
}

void LiveFeed::send(std::string&& packets)
{
    // Where a viewer that has not started yet may start in these packets: at the first key frame,
    // after the tables that came before it.
    std::size_t keyFrame = std::string::npos;
    std::string tablesBeforeIt;
    for (std::size_t at = 0; at + packetSize <= packets.size(); at += packetSize) {
        const auto* p = reinterpret_cast<const unsigned char*>(packets.data() + at);
        const int pid = ((p[1] & 0x1f) << 8) | p[2];
        const bool unitStart = p[1] & 0x40;
        const bool adaptation = (p[3] & 0x20) && p[4] > 0;
        const bool randomAccess = adaptation && (p[5] & 0x40);
        if (pid == 0) {
            m_tables.assign(packets, at, packetSize);
            // The first program's map: pointer field, 8 bytes of table header, program number.
            const int table = 5 + p[4];
            if (unitStart && table + 12 <= int(packetSize) && p[table] == 0)
                m_pmtPid = ((p[table + 10] & 0x1f) << 8) | p[table + 11];
        } else if (!m_tables.empty() && (pid == m_pmtPid || pid < 0x20 || pid == 0x1fff)) {
            m_tables.append(packets, at, packetSize);
        } else {
            if (unitStart && randomAccess && keyFrame == std::string::npos) {
                keyFrame = at;
                tablesBeforeIt = m_tables;
            }
            m_tables.clear();
        }
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& [id, unread] : m_viewers) {
        if (unread.dropped)
            continue;
        if (!unread.started) {
            if (keyFrame == std::string::npos)
                continue;
            unread.started = true;
            std::string first = tablesBeforeIt + packets.substr(keyFrame);
            unread.bytes += first.size();
            unread.chunks.push_back(std::move(first));
            continue;
        }
        if (unread.bytes + packets.size() > maxUnread) {
            unread.dropped = true;
            unread.chunks.clear();
            unread.bytes = 0;
            std::fprintf(stderr, "vantor-sim: live %s: a viewer that does not read is dropped\n", m_label.c_str());
            continue;
        }
        unread.bytes += packets.size();
        unread.chunks.push_back(packets);
    }
    m_arrived.notify_all();
}

void LiveFeed::end(const std::string& why)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
    }
    m_arrived.notify_all();
    // Killed because nobody watches is no news; anything else is.
    if (!m_stopping)
        std::fprintf(stderr, "vantor-sim: error: live %s: %s\n", m_label.c_str(), why.c_str());
}

LiveViewer::LiveViewer(std::shared_ptr<LiveFeed> feed, int id) : m_feed(std::move(feed)), m_id(id) {}

LiveViewer::~LiveViewer()
{
    m_feed->leave(m_id);
}

bool LiveViewer::take(std::string& data, std::chrono::milliseconds wait)
{
    return m_feed->take(m_id, data, wait);
}

LiveVideo::LiveVideo(const Site& site, std::string folder, std::string ffmpeg)
    : m_site(site), m_folder(std::move(folder)), m_ffmpeg(std::move(ffmpeg))
{
}

LiveVideo::~LiveVideo()
{
    stop();
    joinProgramWorker(m_maker, m_makerDone, m_making);
}

void LiveVideo::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    const pid_t making = m_making.load();
    if (making > 0)
        ::kill(making, SIGKILL);
}

bool LiveVideo::sends(ObjectId stream, bool sub) const
{
    auto it = m_site.live.find(stream);
    return it != m_site.live.end() && (!sub || it->second.sub);
}

std::shared_ptr<LiveVideo::Loop> LiveVideo::loopOf(const LiveSource& source, bool sub)
{
    const int width = sub ? source.subWidth : source.width;
    const int height = sub ? source.subHeight : source.height;
    const std::string name = "drawtext=text=" + filterText(source.name) +
                             ":expansion=none:fontsize=h/12:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=8:"
                             "x=w-tw-w/40:y=h/30";
    const std::string graph = pictureSource(source.picture, width, height) + "," + name;
    const int kbps = sub ? source.subKbps : source.kbps;
    // Bump the version when the recipe changes, so that old loops are not served.
    const std::string path = m_folder + "/live-v1-" + hex64(fnv1a(graph)) + "-" + std::to_string(width) + "x" +
                             std::to_string(height) + "-" + std::to_string(kbps) + "k.mp4";
    auto& loop = m_loops[path];
    if (!loop) {
        loop = std::make_shared<Loop>();
        loop->path = path;
        loop->graph = graph;
        loop->kbps = kbps;
    }
    return loop;
}

std::shared_ptr<LiveViewer> LiveVideo::watch(ObjectId stream, bool sub, std::chrono::milliseconds timeout,
                                             std::string& error)
{
    auto source = m_site.live.find(stream);
    if (source == m_site.live.end() || (sub && !source->second.sub)) {
        error = "stream " + std::to_string(stream) + " sends no such live video";
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    // Everyone who watches a stream gets the same feed, while it lasts.
    std::shared_ptr<LiveFeed> feed = m_feeds[{stream, sub}].lock();
    if (!feed || feed->ended()) {
        const std::shared_ptr<Loop> loop = loopOf(source->second, sub);
        if (!loop->done && !loop->queued && fileExists(loop->path))
            loop->done = true;
        if (!loop->done) {
            queue(loop, true);
            // The site's other pictures follow, subs first, so that a first look at the site (the
            // demo) soon finds all of them made.
            if (!m_warmed) {
                m_warmed = true;
                for (const bool subs : {true, false})
                    for (const auto& [id, other] : m_site.live)
                        if (!subs || other.sub)
                            queue(loopOf(other, subs), false);
            }
            if (!m_changed.wait_for(lock, timeout, [&] { return !loop->queued || m_stopping; }) || m_stopping) {
                error = m_stopping ? "the simulator is stopping" : "the stream's picture is still being made";
                return nullptr;
            }
            if (!loop->done) {
                error = loop->error;
                return nullptr;
            }
        }
        // Another request may have started the feed while this one waited.
        feed = m_feeds[{stream, sub}].lock();
        if (!feed || feed->ended()) {
            feed = std::make_shared<LiveFeed>(std::to_string(stream) + (sub ? " sub-stream" : " main stream"));
            if (!feed->start(m_ffmpeg, loop->path, error))
                return nullptr;
            m_feeds[{stream, sub}] = feed;
        }
    }
    const int id = feed->join();
    return std::make_shared<LiveViewer>(feed, id);
}

// With the lock held. A loop a request waits for goes before those made ahead of time.
void LiveVideo::queue(const std::shared_ptr<Loop>& loop, bool wanted)
{
    if (loop->done || fileExists(loop->path)) {
        loop->done = true;
        return;
    }
    if (loop->queued) {
        if (wanted && !loop->wanted) {
            loop->wanted = true;
            auto it = std::find(m_toMake.begin(), m_toMake.end(), loop);
            if (it != m_toMake.end()) {
                m_toMake.erase(it);
                m_toMake.push_front(loop);
            }
        }
        return;
    }
    loop->queued = true;
    loop->wanted = wanted;
    loop->error.clear();
    if (wanted)
        m_toMake.push_front(loop);
    else
        m_toMake.push_back(loop);
    if (!m_maker.joinable())
        m_maker = std::thread([this] { makeLoops(); });
    m_changed.notify_all();
}

void LiveVideo::makeLoops()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stopping || !m_toMake.empty(); });
        if (m_stopping) {
            m_makerDone = true;
            return;
        }
        const std::shared_ptr<Loop> loop = m_toMake.front();
        m_toMake.pop_front();
        const Loop recipe = *loop;
        lock.unlock();
        std::string error;
        const bool ok = makeLoop(recipe, error);
        if (!ok && !m_stopping)
            std::fprintf(stderr, "vantor-sim: error: no live picture %s: %s\n", recipe.path.c_str(), error.c_str());
        lock.lock();
        loop->queued = false;
        loop->done = ok;
        loop->error = ok ? std::string() : error;
        m_changed.notify_all();
    }
}

bool LiveVideo::makeLoop(const Loop& loop, std::string& error)
{
    if (fileExists(loop.path))
        return true;
    if (!makeFolders(m_folder, error))
        return false;
    // Made under a private name and renamed, as the other media are.
    std::string temp = m_folder + "/.making-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a file in " + m_folder + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    const std::string kbps = std::to_string(loop.kbps) + "k";
    auto encode = [&](const std::string& graph) {
        if (m_stopping) {
            error = "the simulator is stopping";
            return false;
        }
        // What a camera sends: a key frame every second, no B-frames, a steady bit rate.
        const std::vector<std::string> args = {m_ffmpeg,
                                               "-hide_banner",
                                               "-loglevel",
                                               "error",
                                               "-nostdin",
                                               "-y",
                                               "-f",
                                               "lavfi",
                                               "-i",
                                               graph,
                                               "-t",
                                               std::to_string(loopSeconds),
                                               "-c:v",
                                               "libx264",
                                               "-preset",
                                               "veryfast",
                                               "-profile:v",
                                               "main",
                                               "-g",
                                               "25",
                                               "-keyint_min",
                                               "25",
                                               "-sc_threshold",
                                               "0",
                                               "-bf",
                                               "0",
                                               "-b:v",
                                               kbps,
                                               "-maxrate",
                                               kbps,
                                               "-bufsize",
                                               kbps,
                                               "-pix_fmt",
                                               "yuv420p",
                                               "-movflags",
                                               "+faststart",
                                               "-f",
                                               "mp4",
                                               temp};
        return runProgram(args, nullptr, error, &m_making, !loop.wanted);
    };
    bool ok = encode(loop.graph);
    if (!ok && !m_stopping) {
        // Without a font for the name (drawtext), the picture alone.
        std::fprintf(stderr, "vantor-sim: warning: cannot draw the camera's name (%s); the picture goes without it\n",
                     error.c_str());
        ok = encode(loop.graph.substr(0, loop.graph.find(",drawtext=")));
    }
    if (ok && std::rename(temp.c_str(), loop.path.c_str()) != 0) {
        error = "cannot rename " + temp + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        std::remove(temp.c_str());
        error = "cannot make the live picture: " + error;
        return false;
    }
    std::fprintf(stderr, "vantor-sim: made the live picture %s\n", loop.path.c_str());
    return true;
}

} // namespace vantorsim
