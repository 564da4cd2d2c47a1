// SPDX-License-Identifier: MIT
#include "numberedmedia.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <csignal>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "childprocess.h"

namespace vantorsim {

namespace {

// More requests than this waiting for slices would hold the gateways' request threads that POS
// documents and other chunks need; the rest are told to come back.
constexpr int maxWaiting = 4;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::int64_t floorMod(std::int64_t a, std::int64_t b)
{
    return a - floorDiv(a, b) * b;
}

// Milliseconds as ffmpeg's seconds.
std::string seconds(std::int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

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

std::shared_ptr<const std::string> readWhole(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (!in || buffer.str().empty()) {
        error = "cannot read " + path;
        return nullptr;
    }
    return std::make_shared<const std::string>(buffer.str());
}

bool fileExists(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

} // namespace

NumberedSlice numberedSlice(std::int64_t startMs, std::int64_t endMs, std::int64_t fileFrames)
{
    NumberedSlice slice;
    const std::int64_t firstSlot = floorDiv(startMs, numberedFrameMs);
    // The slot that holds the chunk's last moment, endMs − 1 (its end itself is the next chunk's).
    const std::int64_t lastSlot = endMs > startMs ? floorDiv(endMs - 1, numberedFrameMs) : firstSlot;
    slice.frames = lastSlot - firstSlot + 1;
    slice.firstFrame = floorMod(firstSlot, fileFrames);
    slice.firstFrameCutMs = static_cast<int>(floorMod(startMs, numberedFrameMs));
    return slice;
}

NumberedMedia::NumberedMedia(std::string file, std::string folder, std::string ffmpeg)
    : m_file(std::move(file)), m_folder(std::move(folder)), m_ffmpeg(std::move(ffmpeg))
{
}

NumberedMedia::~NumberedMedia()
{
    stop();
    joinProgramWorker(m_worker, m_workerDone, m_running);
}

void NumberedMedia::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    const pid_t running = m_running.load();
    if (running > 0)
        ::kill(running, SIGKILL);
}

std::shared_ptr<const std::string> NumberedMedia::chunk(std::int64_t startMs, std::int64_t endMs,
                                                        std::chrono::milliseconds timeout, std::string& error)
{
    std::string path;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_stopping) {
            error = "the simulator is stopping";
            return nullptr;
        }
        if (m_facts) {
            const NumberedSlice slice = numberedSlice(startMs, endMs, m_facts->frames);
            if (slice.frames <= maxFrames && fileExists(slicePath(*m_facts, slice)))
                path = slicePath(*m_facts, slice);
        }
        if (path.empty()) {
            if (m_waiting >= maxWaiting) {
                error = "busy making the media of " + std::to_string(m_waiting) + " other chunks; ask again later";
                return nullptr;
            }
            auto& job = m_pending[{startMs, endMs}];
            if (!job) {
                job = std::make_shared<Job>();
                job->startMs = startMs;
                job->endMs = endMs;
                m_queue.push_back(job);
                if (!m_worker.joinable())
                    m_worker = std::thread([this] { work(); });
                m_changed.notify_all();
            }
            const std::shared_ptr<Job> mine = job;
            ++m_waiting;
            const bool finished = m_changed.wait_for(lock, timeout, [&] { return mine->done || m_stopping; });
            --m_waiting;
            if (!finished || !mine->done) {
                error =
                    m_stopping ? "the simulator is stopping" : "the chunk's media is still being made; ask again later";
                return nullptr;
            }
            if (!mine->error.empty()) {
                error = mine->error;
                return nullptr;
            }
            path = mine->path;
        }
    }
    return readWhole(path, error);
}

void NumberedMedia::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping) {
            m_workerDone = true;
            return;
        }
        const std::shared_ptr<Job> job = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        std::string path, error;
        const bool ok = learnFile(error) && !stopping(error) && make(*job, path, error);
        std::string stopped;
        if (!ok && !stopping(stopped))
            std::fprintf(stderr, "vantor-sim: error: no numbered media for the chunk %lld-%lld: %s\n",
                         static_cast<long long>(job->startMs), static_cast<long long>(job->endMs), error.c_str());
        lock.lock();
        job->done = true;
        job->path = path;
        job->error = ok ? std::string() : error;
        m_pending.erase({job->startMs, job->endMs});
        m_changed.notify_all();
    }
}

bool NumberedMedia::stopping(std::string& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping)
        error = "the simulator is stopping";
    return m_stopping;
}

std::string NumberedMedia::ffprobe() const
{
    // The one beside the ffmpeg we were given, as Debian installs them.
    const std::string name = "ffmpeg";
    if (m_ffmpeg.size() >= name.size() && m_ffmpeg.compare(m_ffmpeg.size() - name.size(), name.size(), name) == 0)
        return m_ffmpeg.substr(0, m_ffmpeg.size() - name.size()) + "ffprobe";
    return "ffprobe";
}

// Learns the file's frames, key frames and bit rate once, and again whenever the file changes.
bool NumberedMedia::learnFile(std::string& error)
{
    struct stat st
    {
    };
    if (::stat(m_file.c_str(), &st) != 0) {
        error = "cannot read " + m_file + ": " + std::strerror(errno);
        return false;
    }
    const std::int64_t modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_facts && m_facts->size == st.st_size && m_facts->modifiedNs == modifiedNs)
            return true;
    }
    std::string text;
    if (stopping(error))
        return false;
    if (!runProgram({ffprobe(), "-v", "error", "-select_streams", "v:0", "-show_entries",
                     "stream=codec_name,r_frame_rate,bit_rate:format=bit_rate:packet=flags", "-of", "json", m_file},
                    &text, error, &m_running)) {
        error = "cannot read the numbered file " + m_file + ": " + error;
        return false;
    }
    Facts facts;
    facts.size = st.st_size;
    facts.modifiedNs = modifiedNs;
    try {
        const auto doc = nlohmann::json::parse(text);
        const auto& streams = doc.at("streams");
        if (!streams.is_array() || streams.empty()) {
            error = m_file + " has no video";
            return false;
        }
        const auto& stream = streams.at(0);
        const std::string rate = stream.value("r_frame_rate", "");
        if (rate != "25/1") {
            error = m_file + " is not 25 frames a second (its frame rate is " + rate + ")";
            return false;
        }
        for (const auto& packet : doc.value("packets", nlohmann::json::array()))
            facts.keyFrames.push_back(packet.value("flags", "").rfind('K', 0) == 0);
        facts.bitrate = stream.value("bit_rate", doc.value("format", nlohmann::json::object()).value("bit_rate", ""));
    } catch (const nlohmann::json::exception& e) {
        error = "cannot read what ffprobe says of " + m_file + ": " + e.what();
        return false;
    }
    facts.frames = static_cast<std::int64_t>(facts.keyFrames.size());
    if (facts.frames == 0) {
        error = m_file + " has no frames";
        return false;
    }
    if (facts.bitrate.empty() || facts.bitrate.find_first_not_of("0123456789") != std::string::npos)
        facts.bitrate = "1000000";
    char* real = ::realpath(m_file.c_str(), nullptr);
    const std::string canonical = real ? real : m_file;
    std::free(real);
    facts.identity = hex64(fnv1a(canonical + '\n' + std::to_string(facts.size) + '\n' + std::to_string(modifiedNs)));
    std::fprintf(stderr, "vantor-sim: numbered chunk media from %s: %lld frames\n", m_file.c_str(),
                 static_cast<long long>(facts.frames));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_facts = std::move(facts);
    return true;
}

std::string NumberedMedia::slicePath(const Facts& facts, const NumberedSlice& slice) const
{
    // Bump the version when the recipe changes, so that old slices are not served.
    return m_folder + "/numbered-v1-" + facts.identity + "-f" + std::to_string(slice.firstFrame) + "-n" +
           std::to_string(slice.frames) + "-c" + std::to_string(slice.firstFrameCutMs) + ".mp4";
}

bool NumberedMedia::make(const Job& job, std::string& path, std::string& error)
{
    Facts facts;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        facts = *m_facts;
    }
    const NumberedSlice slice = numberedSlice(job.startMs, job.endMs, facts.frames);
    if (slice.frames > maxFrames) {
        error = "the chunk lasts longer than " + std::to_string(maxFrames / 25) + " s, too long to cut from " + m_file;
        return false;
    }
    path = slicePath(facts, slice);
    if (fileExists(path))
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

    const std::int64_t fileFrames = facts.frames;
    const bool wraps = slice.firstFrame + slice.frames > fileFrames;
    std::vector<std::string> args = {m_ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
    if (slice.firstFrame > 0)
        args.insert(args.end(), {"-ss", seconds(slice.firstFrame * numberedFrameMs)});
    args.insert(args.end(), {"-i", m_file});
    const bool copy = slice.firstFrameCutMs == 0 && !wraps && facts.keyFrames[std::size_t(slice.firstFrame)];
    if (copy) {
        // Starts on a key frame and keeps the file's timing: the frames as they are.
        args.insert(args.end(), {"-map", "0:v:0", "-c", "copy"});
    } else {
        // Each frame's time on the 40 ms grid: the first one is shorter by the cut. Past the file's
        // end the file starts again (a second input that loops, as long as needed).
        const std::string times = slice.firstFrameCutMs == 0
                                      ? std::string("N*40")
                                      : "'if(eq(N,0),0,N*40-" + std::to_string(slice.firstFrameCutMs) + ")'";
        std::string graph;
        if (wraps) {
            const std::int64_t rest = slice.frames - (fileFrames - slice.firstFrame);
            args.insert(args.end(), {"-stream_loop", "-1", "-i", m_file});
            graph = "[1:v]trim=end_frame=" + std::to_string(rest) + "[rest];[0:v][rest]concat=n=2:v=1:a=0,";
        } else {
            graph = "[0:v]";
        }
        graph += "settb=1/1000,setpts=" + times + "[v]";
        args.insert(args.end(), {"-filter_complex",
                                 graph,
                                 "-map",
                                 "[v]",
                                 "-vsync",
                                 "passthrough",
                                 "-enc_time_base",
                                 "1/1000",
                                 "-c:v",
                                 "libx264",
                                 "-preset",
                                 "fast",
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
                                 facts.bitrate,
                                 "-pix_fmt",
                                 "yuv420p",
                                 "-video_track_timescale",
                                 "1000"});
    }
    args.insert(args.end(),
                {"-an", "-frames:v", std::to_string(slice.frames), "-movflags", "+faststart", "-f", "mp4", temp});
    bool ok = runProgram(args, nullptr, error, &m_running);
    if (!ok)
        error = "cannot cut the chunk's media from " + m_file + ": " + error;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temp + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        std::remove(temp.c_str());
        return false;
    }
    std::fprintf(stderr, "vantor-sim: made %s (%s frames %lld to %lld of %lld, the first %d ms shorter)\n",
                 path.c_str(), copy ? "copied" : "re-encoded", static_cast<long long>(slice.firstFrame),
                 static_cast<long long>((slice.firstFrame + slice.frames - 1) % fileFrames),
                 static_cast<long long>(fileFrames), slice.firstFrameCutMs);
    return true;
}

} // namespace vantorsim
