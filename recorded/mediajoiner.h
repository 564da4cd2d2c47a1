// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <functional>

#include <QString>
#include <QStringList>

// Joins media files recorded alike (the same video codec and picture size) into one MP4 without
// re-encoding: the packets are copied as they are and only their timestamps change, so that each
// part follows the one before. The first input's video stream, and its first audio stream if it
// has one, are kept; later inputs must have matching ones.
//
// The output is written beside the target under a name of its own and renamed into place only
// once complete, so the target either holds the whole join or does not exist. An existing file
// is never replaced: the caller chooses a free name.
class MediaJoiner
{
public:
    // Called on the joining thread with the share of the inputs done so far (0..1, never falling).
    using ProgressCallback = std::function<void(double)>;

    void setProgressCallback(ProgressCallback callback);
    // Looked at between packets: once true, join() stops, removes its partial output and fails.
    void setCancelFlag(const std::atomic_bool* flag);
    // What the next joins cut off, in ms of the input's own clock from its start: the first
    // input's beginning up to headMs, and the last input's end from tailMs on (0 and -1: nothing).
    // The cut at the start keeps the frames from the key frame before it, which an edit list hides,
    // so that the file plays from the cut; an input that ends before it is left out. The cut at
    // the end drops every video packet from the first one (in decoding order) shown at or after
    // it, so that what stays decodes: without B-frames the file ends at the cut to the frame, with
    // them it may end a few frames before.
    void setTrim(qint64 headMs, qint64 tailMs);

    // Writes the inputs, in order, into target, which must not exist. True on success; otherwise
    // errorString() says why, naming the input concerned, and nothing was left behind.
    bool join(const QStringList& inputs, const QString& target);

    QString errorString() const;
    // True when the last join() failed because the cancel flag was set.
    bool wasCancelled() const;

private:
    struct Streams;
    struct Output;

    // The steps of join(), each false with errorString() set when it fails.
    bool checkInputs(const QStringList& inputs, Streams& streams);
    bool openOutput(const QString& target, const Streams& streams, Output& output);
    bool copyInput(const QStringList& inputs, int index, Output& output);
    bool finishOutput(Output& output, const QString& target);

    bool fail(const QString& message);
    bool cancelled();
    bool cancelRequested() const;
    void reportProgress(double value);

    ProgressCallback m_progress;
    qint64 m_headMs = 0;
    qint64 m_tailMs = -1;
    const std::atomic_bool* m_cancel = nullptr;
    QString m_error;
    bool m_cancelled = false;
    double m_lastProgress = -1.0;
};
