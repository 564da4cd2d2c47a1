// SPDX-License-Identifier: MIT
#include "mediajoiner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include "recordedlog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

namespace {

// How many "<target>.N.part" names are tried when "<target>.part" is taken (a crash's leftover, or
// another export of the same name at the same moment).
constexpr int PartNameAttempts = 100;
// The progress callback is called again only once the share has grown by this much.
constexpr double ProgressStep = 0.01;

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// The "file:" protocol prefix keeps a path that looks like a URL ("http://…", "concat:…") a path.
QByteArray fileUrl(const QString& path)
{
    return QByteArrayLiteral("file:") + QFile::encodeName(path);
}

struct InputCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

struct OutputCloser
{
    void operator()(AVFormatContext* context) const
    {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFree
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct ParametersFree
{
    void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
using ParametersPtr = std::unique_ptr<AVCodecParameters, ParametersFree>;

// Removes the partial output unless the join succeeded. Declared before the output context, so
// that the file is closed before it is removed.
class PartFile
{
public:
    ~PartFile()
    {
        if (!m_path.isEmpty() && !m_kept)
            QFile::remove(m_path);
    }
    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_kept = false;
};

// Creates a new, empty file beside target for the output; an existing file of that name is left
// alone and the next name tried. Returns its path, or an empty string with error set.
QString claimPartFile(const QString& target, QString& error)
{
    for (int attempt = 1; attempt <= PartNameAttempts; ++attempt) {
        const QString path =
            attempt == 1 ? target + QStringLiteral(".part") : QStringLiteral("%1.%2.part").arg(target).arg(attempt);
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink())
            continue;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        // Taken between the look and the creation: try the next name; anything else is final.
        if (!QFileInfo(path).exists()) {
            error = QStringLiteral("Cannot create %1: %2").arg(path, file.errorString());
            return QString();
        }
    }
    error = QStringLiteral("Cannot create a temporary file beside %1: every name is taken").arg(target);
    return QString();
}

// Renames without ever replacing a file that appeared at target meanwhile. QFile::rename is not
// used: when its own rename fails it falls back to copying over the target.
bool renameNoReplace(const QString& from, const QString& to, QString& error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int code = errno;
    // A file system without RENAME_NOREPLACE: a hard link cannot replace a file either.
    if (code == EINVAL || code == ENOSYS) {
        if (::link(source.constData(), destination.constData()) == 0) {
            ::unlink(source.constData());
            return true;
        }
        code = errno;
    }
    error =
        code == EEXIST
            ? QStringLiteral("%1 already exists").arg(to)
            : QStringLiteral("Cannot rename %1 to %2: %3").arg(from, to, QString::fromLocal8Bit(std::strerror(code)));
    return false;
}

QString describeVideo(const AVCodecParameters* parameters)
{
    return QStringLiteral("%1 %2x%3")
        .arg(QString::fromLatin1(avcodec_get_name(parameters->codec_id)))
        .arg(parameters->width)
        .arg(parameters->height);
}

QString describeAudio(const AVCodecParameters* parameters)
{
    return QStringLiteral("%1 %2 Hz %3 channels")
        .arg(QString::fromLatin1(avcodec_get_name(parameters->codec_id)))
        .arg(parameters->sample_rate)
        .arg(parameters->ch_layout.nb_channels);
}

bool sameVideo(const AVCodecParameters* a, const AVCodecParameters* b)
{
    return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height;
}

bool sameSetup(const AVCodecParameters* a, const AVCodecParameters* b)
{
    return a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, size_t(a->extradata_size)) == 0);
}

bool sameAudio(const AVCodecParameters* a, const AVCodecParameters* b)
{
    return a->codec_id == b->codec_id && a->sample_rate == b->sample_rate &&
           a->ch_layout.nb_channels == b->ch_layout.nb_channels;
}

InputPtr openInput(const QString& path, QString& error)
{
    AVDictionary* options = nullptr;
    // Only local files: a crafted input (a playlist, a reference movie) must not make the demuxer
    // open network addresses.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* context = nullptr;
    int result = avformat_open_input(&context, fileUrl(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = QStringLiteral("Cannot open %1: %2").arg(path, avError(result));
        return nullptr;
    }
    InputPtr input(context);
    result = avformat_find_stream_info(context, nullptr);
    if (result < 0) {
        error = QStringLiteral("Cannot read the streams of %1: %2").arg(path, avError(result));
        return nullptr;
    }
    return input;
}

// The streams of one input that go into the output: -1 when absent.
struct StreamChoice
{
    int video = -1;
    int audio = -1;
};

StreamChoice chooseStreams(AVFormatContext* input)
{
    StreamChoice choice;
    choice.video = std::max(-1, av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0));
    choice.audio = std::max(-1, av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, choice.video, nullptr, 0));
    return choice;
}

// One stream of the output and what has been written to it.
struct Track
{
    AVStream* stream = nullptr;
    int64_t lastDts = AV_NOPTS_VALUE; // in the stream's time base
};

// A packet's duration when the input does not give one: a frame at the stream's rate for video,
// a frame of samples for audio, else zero.
int64_t fallbackDuration(const AVStream* in, AVRational outTimeBase)
{
    const AVCodecParameters* parameters = in->codecpar;
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
        AVRational rate = in->avg_frame_rate.num > 0 ? in->avg_frame_rate : in->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            return av_rescale_q(1, av_inv_q(rate), outTimeBase);
    } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && parameters->frame_size > 0 &&
               parameters->sample_rate > 0) {
        return av_rescale_q(parameters->frame_size, AVRational{1, parameters->sample_rate}, outTimeBase);
    }
    return 0;
}

// Keeps a stream's parameters and time base; false when out of memory.
bool copyStream(const AVStream* stream, ParametersPtr& parameters, AVRational& timeBase)
{
    parameters.reset(avcodec_parameters_alloc());
    if (!parameters || avcodec_parameters_copy(parameters.get(), stream->codecpar) < 0)
        return false;
    timeBase = stream->time_base;
    return true;
}

// Moves a packet of the input stream `in` onto its output track: shifted by shiftUs (AV_TIME_BASE
// units), in the track's time base, with a duration, and with decoding times that rise strictly
// on the track. `extra` is how much further this input's timestamps on the track are moved when
// its first packets would not follow the previous input's last ones (B-frames, an input starting
// early). Gives the end of the packet in AV_TIME_BASE units.
int64_t placePacket(AVPacket* packet, const AVStream* in, Track& track, int64_t shiftUs, int64_t& extra)
{
    const AVRational outTimeBase = track.stream->time_base;
    const int64_t shift = av_rescale_q(shiftUs, AV_TIME_BASE_Q, outTimeBase);
    auto move = [&](int64_t timestamp) {
        if (timestamp == AV_NOPTS_VALUE)
            return timestamp;
        return av_rescale_q_rnd(timestamp, in->time_base, outTimeBase,
                                AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX)) +
               shift;
    };
    packet->pts = move(packet->pts);
    packet->dts = move(packet->dts);
    packet->duration = packet->duration > 0 ? av_rescale_q(packet->duration, in->time_base, outTimeBase)
                                            : fallbackDuration(in, outTimeBase);
    if (packet->dts == AV_NOPTS_VALUE) {
        packet->dts = packet->pts != AV_NOPTS_VALUE     ? packet->pts
                      : track.lastDts != AV_NOPTS_VALUE ? track.lastDts + std::max<int64_t>(packet->duration, 1)
                                                        : shift;
    }
    if (packet->pts == AV_NOPTS_VALUE)
        packet->pts = packet->dts;

    // The writer needs strictly increasing decoding times in each track.
    if (track.lastDts != AV_NOPTS_VALUE && packet->dts + extra <= track.lastDts)
        extra = track.lastDts + 1 - packet->dts;
    packet->dts += extra;
    packet->pts += extra;
    track.lastDts = packet->dts;
    return av_rescale_q(packet->pts + packet->duration, outTimeBase, AV_TIME_BASE_Q);
}

} // namespace

void MediaJoiner::setProgressCallback(ProgressCallback callback)
{
    m_progress = std::move(callback);
}

void MediaJoiner::setCancelFlag(const std::atomic_bool* flag)
{
    m_cancel = flag;
}

void MediaJoiner::setTrim(qint64 headMs, qint64 tailMs)
{
    m_headMs = std::max<qint64>(0, headMs);
    m_tailMs = tailMs < 0 ? -1 : tailMs;
}

QString MediaJoiner::errorString() const
{
    return m_error;
}

bool MediaJoiner::wasCancelled() const
{
    return m_cancelled;
}

bool MediaJoiner::cancelRequested() const
{
    return m_cancel && m_cancel->load();
}

void MediaJoiner::reportProgress(double value)
{
    value = std::clamp(value, 0.0, 1.0);
    if (value <= m_lastProgress)
        return;
    // Not for every packet: the callback typically posts an event to another thread.
    if (value < m_lastProgress + ProgressStep && value < 1.0)
        return;
    m_lastProgress = value;
    if (m_progress)
        m_progress(value);
}

// What the first input sets for every part: its video stream, and its audio stream if it has one.
struct MediaJoiner::Streams
{
    ParametersPtr video;
    ParametersPtr audio;
    AVRational videoTimeBase{1, 90000};
    AVRational audioTimeBase{1, 48000};
};

// The file being written. The part file comes first, so that the writer is closed before the
// file is removed on failure.
struct MediaJoiner::Output
{
    PartFile part;
    QByteArray partUrl;
    OutputPtr context;
    // Track 0 is the video, track 1 the audio if the first input has some.
    std::vector<Track> tracks;
    PacketPtr packet;
    // Where the next input starts, in AV_TIME_BASE units: the end of the previous input's video.
    int64_t nextStart = 0;
    int64_t packetsWritten = 0;
};

bool MediaJoiner::join(const QStringList& inputs, const QString& target)
{
    m_error.clear();
    m_cancelled = false;
    m_lastProgress = -1.0;

    if (inputs.isEmpty())
        return fail(QStringLiteral("Nothing to join"));
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() || targetInfo.isSymLink())
        return fail(QStringLiteral("%1 already exists").arg(target));
    reportProgress(0.0);

    Streams streams;
    if (!checkInputs(inputs, streams))
        return false;
    Output output;
    if (!openOutput(target, streams, output))
        return false;
    for (int index = 0; index < inputs.size(); ++index) {
        if (!copyInput(inputs, index, output))
            return false;
    }
    return finishOutput(output, target);
}

bool MediaJoiner::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool MediaJoiner::cancelled()
{
    m_cancelled = true;
    m_error = QStringLiteral("Cancelled");
    return false;
}

bool MediaJoiner::checkInputs(const QStringList& inputs, Streams& streams)
{
    // Every input is checked before anything is written: a part that cannot be joined is found at
    // once, not after copying all the parts before it.
    for (const QString& path : inputs) {
        if (cancelRequested())
            return cancelled();
        QString error;
        const InputPtr input = openInput(path, error);
        if (!input)
            return fail(error);
        const StreamChoice choice = chooseStreams(input.get());
        if (choice.video < 0)
            return fail(QStringLiteral("%1 has no video stream").arg(path));
        const AVStream* video = input->streams[choice.video];
        if (!streams.video) {
            if (!copyStream(video, streams.video, streams.videoTimeBase) ||
                (choice.audio >= 0 && !copyStream(input->streams[choice.audio], streams.audio, streams.audioTimeBase)))
                return fail(QStringLiteral("Out of memory"));
            continue;
        }
        if (!sameVideo(video->codecpar, streams.video.get()))
            return fail(
                QStringLiteral("%1 cannot be joined without re-encoding: its video is %2, the first part's is %3")
                    .arg(path, describeVideo(video->codecpar), describeVideo(streams.video.get())));
        // Only the first part's codec set-up (for H.264 its SPS and PPS) goes into the file. Parts
        // of one camera share it; when they do not, players may show errors after the joint.
        if (!sameSetup(video->codecpar, streams.video.get()))
            qCWarning(lcRecorded).noquote() << "Joining" << path << "whose video set-up differs from the first part's";
        if (streams.audio) {
            if (choice.audio < 0)
                return fail(QStringLiteral("%1 has no audio stream, but the first part has one").arg(path));
            const AVCodecParameters* audio = input->streams[choice.audio]->codecpar;
            if (!sameAudio(audio, streams.audio.get()))
                return fail(
                    QStringLiteral("%1 cannot be joined without re-encoding: its audio is %2, the first part's is %3")
                        .arg(path, describeAudio(audio), describeAudio(streams.audio.get())));
        }
    }
    return true;
}

bool MediaJoiner::openOutput(const QString& target, const Streams& streams, Output& output)
{
    QString error;
    output.part.setPath(claimPartFile(target, error));
    if (output.part.path().isEmpty())
        return fail(error);
    output.partUrl = fileUrl(output.part.path());

    AVFormatContext* context = nullptr;
    int result = avformat_alloc_output_context2(&context, nullptr, "mp4", output.partUrl.constData());
    if (result < 0)
        return fail(QStringLiteral("Cannot make an MP4 writer for %1: %2").arg(target, avError(result)));
    output.context.reset(context);

    auto addTrack = [&output](const AVCodecParameters* parameters, AVRational timeBase) {
        AVStream* stream = avformat_new_stream(output.context.get(), nullptr);
        if (!stream || avcodec_parameters_copy(stream->codecpar, parameters) < 0)
            return false;
        // The input's tag may belong to another container; the MP4 writer picks its own.
        stream->codecpar->codec_tag = 0;
        stream->time_base = timeBase;
        output.tracks.push_back(Track{stream, AV_NOPTS_VALUE});
        return true;
    };
    if (!addTrack(streams.video.get(), streams.videoTimeBase) ||
        (streams.audio && !addTrack(streams.audio.get(), streams.audioTimeBase)))
        return fail(QStringLiteral("Out of memory"));

    result = avio_open(&output.context->pb, output.partUrl.constData(), AVIO_FLAG_WRITE);
    if (result < 0)
        return fail(QStringLiteral("Cannot write %1: %2").arg(output.part.path(), avError(result)));
    result = avformat_write_header(output.context.get(), nullptr);
    if (result < 0)
        return fail(QStringLiteral("Cannot write %1: %2").arg(output.part.path(), avError(result)));

    output.packet.reset(av_packet_alloc());
    if (!output.packet)
        return fail(QStringLiteral("Out of memory"));
    return true;
}

bool MediaJoiner::copyInput(const QStringList& inputs, int index, Output& output)
{
    const QString& path = inputs.at(index);
    QString error;
    const InputPtr input = openInput(path, error);
    if (!input)
        return fail(error);
    const StreamChoice choice = chooseStreams(input.get());
    const bool withAudio = output.tracks.size() > 1;
    // Shifts the input to start where the previous one ended, wherever its own clock began.
    const int64_t inputStart = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
    const int64_t offset = output.nextStart;
    const int64_t inputSize = input->pb ? avio_size(input->pb) : -1;
    const int64_t headUs = index == 0 ? m_headMs * 1000 : 0;
    const int64_t tailUs = index == inputs.size() - 1 && m_tailMs >= 0 ? m_tailMs * 1000 : -1;
    if (headUs > 0) {
        // Nothing of it is after the cut.
        if (input->duration != AV_NOPTS_VALUE && input->duration <= headUs) {
            reportProgress(double(index + 1) / inputs.size());
            return true;
        }
        // From the key frame before the cut: the frames up to it are needed to decode the rest.
        const AVStream* video = input->streams[choice.video];
        const int64_t cut = av_rescale_q(inputStart + headUs, AV_TIME_BASE_Q, video->time_base);
        if (av_seek_frame(input.get(), choice.video, cut, AVSEEK_FLAG_BACKWARD) < 0)
            qCWarning(lcRecorded).noquote() << "Cannot seek in" << path << "; its start is copied and hidden";
    }
    auto inMicroseconds = [&](const AVPacket* packet, int64_t value) {
        return av_rescale_q(value, input->streams[packet->stream_index]->time_base, AV_TIME_BASE_Q);
    };
    bool videoCut = false;
    bool audioCut = false;
    std::vector<int64_t> extra(output.tracks.size(), 0);
    // The video's end places the next input: audio that runs a little longer (an encoder's
    // priming samples) must not push every later part further along the timeline.
    int64_t videoEnd = offset;
    int64_t anyEnd = offset;

    AVPacket* packet = output.packet.get();
    while (true) {
        if (cancelRequested())
            return cancelled();
        int result = av_read_frame(input.get(), packet);
        if (result == AVERROR_EOF)
            break;
        if (result < 0)
            return fail(QStringLiteral("Cannot read %1: %2").arg(path, avError(result)));

        int trackIndex = -1;
        if (packet->stream_index == choice.video)
            trackIndex = 0;
        else if (withAudio && packet->stream_index == choice.audio)
            trackIndex = 1;
        if (trackIndex < 0) {
            av_packet_unref(packet);
            continue;
        }
        if (inputSize > 0 && packet->pos >= 0)
            reportProgress((index + double(packet->pos) / double(inputSize)) / inputs.size());

        const int64_t shown = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (shown != AV_NOPTS_VALUE && (headUs > 0 || tailUs >= 0)) {
            // On the input's own clock, from its start.
            const int64_t at = inMicroseconds(packet, shown) - inputStart;
            const int64_t until = at + std::max<int64_t>(0, inMicroseconds(packet, packet->duration));
            bool drop = false;
            if (trackIndex == 0) {
                // Past the cut in decoding order, later frames may refer to the dropped ones.
                videoCut = videoCut || (tailUs >= 0 && at >= tailUs);
                drop = videoCut;
            } else {
                audioCut = audioCut || (tailUs >= 0 && at >= tailUs);
                drop = audioCut || (headUs > 0 && until <= headUs);
            }
            if (drop) {
                av_packet_unref(packet);
                // The rest of the input is past the cut.
                if (videoCut && (audioCut || !withAudio))
                    break;
                continue;
            }
        }

        // The cut at the start is the output's moment 0: the frames before it get times below.
        const int64_t packetEnd =
            placePacket(packet, input->streams[packet->stream_index], output.tracks[size_t(trackIndex)],
                        offset - inputStart - headUs, extra[size_t(trackIndex)]);
        ++output.packetsWritten;
        anyEnd = std::max(anyEnd, packetEnd);
        if (trackIndex == 0)
            videoEnd = std::max(videoEnd, packetEnd);

        packet->stream_index = trackIndex;
        packet->pos = -1;
        // Takes the packet's data in any case.
        result = av_interleaved_write_frame(output.context.get(), packet);
        if (result < 0)
            return fail(
                QStringLiteral("Cannot write %1 while copying %2: %3").arg(output.part.path(), path, avError(result)));
    }
    output.nextStart = std::max(output.nextStart, videoEnd > offset ? videoEnd : anyEnd);
    reportProgress(double(index + 1) / inputs.size());
    return true;
}

bool MediaJoiner::finishOutput(Output& output, const QString& target)
{
    if (output.packetsWritten == 0 && (m_headMs > 0 || m_tailMs >= 0))
        return fail(QStringLiteral("Nothing of the inputs lies between the cuts"));
    int result = av_write_trailer(output.context.get());
    if (result < 0)
        return fail(QStringLiteral("Cannot write %1: %2").arg(output.part.path(), avError(result)));
    // Closing flushes the last bytes: a full disk may only show here.
    result = avio_closep(&output.context->pb);
    if (result < 0)
        return fail(QStringLiteral("Cannot write %1: %2").arg(output.part.path(), avError(result)));
    output.context.reset();

    QString error;
    if (!renameNoReplace(output.part.path(), target, error))
        return fail(error);
    output.part.keep();
    return true;
}
