// SPDX-License-Identifier: MIT
#include "camerasync.h"

#include <algorithm>
#include <cmath>

#include <QDateTime>
#include <QDebug>
#include <QSysInfo>

#include "chunkspans.h"
#include "multicameraexporter.h"
#include "multicamlog.h"
#include "playbacktime.h"
#include "recordedsession.h"
#include "timelinebar.h"
#include "vantorclient.h"

namespace {

// A camera playing farther than this from the clock is moved by a seek; nearer, by its speed.
constexpr qreal ResyncMs = 400;
// The speed correction brings a camera back over about this long, within MaxNudge of the speed.
constexpr qreal CatchUpMs = 400;
constexpr qreal MaxNudge = 0.5;
// A seek not seen done by then is taken as lost, and may be asked again.
constexpr qint64 SeekPatienceMs = 1500;
// Above the fast rate a camera shows key frames, renewed once its picture is this far off.
constexpr qreal KeyframeToleranceMs = 500;
// A player seeking exactly shows the first frame at or after the point (give or take a few ms):
// to show the frame that holds a moment it seeks nearly a frame before it.
constexpr qreal FrameAimMs = 10;
// A camera seen this many times half a second behind, at most once in FallSpacingMs, while
// playing faster than 1x means the players cannot decode every frame at that speed.
constexpr int DecodeBoundFalls = 3;
constexpr qint64 FallSpacingMs = 250;
// After a seek the clock goes on once every camera has been at the moment for more ticks than this.
constexpr int SettledTicks = 2;
} // namespace

CameraSync::CameraSync(QObject* parent) : QObject(parent)
{
    m_dayStart = PlaybackTime::startOfDay(qreal(QDateTime::currentMSecsSinceEpoch()));
    m_dayEnd = PlaybackTime::endOfDay(m_dayStart);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(m_tickMs);
    connect(&m_timer, &QTimer::timeout, this, &CameraSync::tick);
}

CameraSync::~CameraSync()
{
    clear();
}

// --- Settings ---------------------------------------------------------------------------------

QVariantList CameraSync::speeds() const
{
    return PlaybackTime::speedsToVariant(m_speeds);
}

void CameraSync::setSpeeds(const QVariantList& speeds)
{
    const QList<qreal> values = PlaybackTime::parseSpeeds(speeds);
    if (values.isEmpty()) {
        qCWarning(lcMulticam) << "No usable speeds in" << speeds << "- keeping" << m_speeds;
        return;
    }
    if (values == m_speeds)
        return;
    m_speeds = values;
    emit settingsChanged();
}

void CameraSync::setFrameMs(int ms)
{
    if (ms <= 0 || ms == m_frameMs)
        return;
    m_frameMs = ms;
    emit settingsChanged();
}

void CameraSync::setTickMs(int ms)
{
    if (ms <= 0 || ms == m_tickMs)
        return;
    m_tickMs = ms;
    m_timer.setInterval(ms);
    emit settingsChanged();
}

void CameraSync::setHoldTimeoutMs(int ms)
{
    if (ms < 0 || ms == m_holdTimeoutMs)
        return;
    m_holdTimeoutMs = ms;
    emit settingsChanged();
}

void CameraSync::setFastRate(qreal rate)
{
    if (rate <= 0 || rate == m_fastRate)
        return;
    m_fastRate = rate;
    emit settingsChanged();
}

void CameraSync::setDisplayLatencyMs(int ms)
{
    if (ms < 0 || ms == m_displayLatencyMs)
        return;
    m_displayLatencyMs = ms;
    emit settingsChanged();
}

void CameraSync::setDisplayLatencyGrowthMs(int ms)
{
    if (ms < 0 || ms == m_displayLatencyGrowthMs)
        return;
    m_displayLatencyGrowthMs = ms;
    emit settingsChanged();
}

qreal CameraSync::displayLatencyAt(qreal rate) const
{
    return m_displayLatencyMs + m_displayLatencyGrowthMs * std::max<qreal>(0, rate - 1);
}

void CameraSync::setTimeSource(SharedClock::TimeSource source, bool ownTicks)
{
    m_clock.setTimeSource(std::move(source));
    if (!ownTicks)
        m_timer.stop();
    else if (!m_cameras.isEmpty())
        m_timer.start();
}

void CameraSync::setTimeline(TimelineBar* timeline)
{
    if (timeline == m_timeline)
        return;
    m_timeline = timeline;
    if (m_timeline) {
        m_timeline->setDayStart(qint64(m_dayStart));
        m_timeline->setDayEnd(qint64(m_dayEnd));
    }
    emit timelineChanged();
}

// --- The cameras ------------------------------------------------------------------------------

int CameraSync::indexOf(const RecordedSession* session) const
{
    for (int i = 0; i < m_cameras.size(); ++i)
        if (m_cameras.at(i).session == session)
            return i;
    return -1;
}

bool CameraSync::addCamera(RecordedSession* session)
{
    if (!session || indexOf(session) >= 0)
        return false;
    if (m_cameras.size() >= MaxCameras) {
        qCWarning(lcMulticam) << "At most" << MaxCameras << "cameras play in step; not added:" << session->strmId();
        return false;
    }
    Camera camera;
    camera.session = session;
    m_cameras.append(camera);
    session->setFollowsClock(true);
    session->setMarkA(m_markA);
    session->setMarkB(m_markB);
    if (session->dayStart() != m_dayStart)
        session->loadDay(m_dayStart);
    connect(session, &RecordedSession::clockSeekRequested, this, &CameraSync::handleSeekRequest);
    connect(session, &RecordedSession::clockDayRequested, this, &CameraSync::handleDayRequest);
    connect(session, &RecordedSession::loadedInStep, this, [this, session] {
        const int index = indexOf(session);
        if (index < 0)
            return;
        // The chunk may be on another player of the tile: what was asked of the last one is
        // asked again.
        Camera& camera = m_cameras[index];
        camera.pausedAsked = -1;
        camera.speedAsked = -1;
        if (camera.inStep && m_positionMs >= 0)
            follow(camera, m_clock.position());
    });
    connect(session, &QObject::destroyed, this, [this] {
        // A camera's tile went away with its session: forget it.
        m_cameras.erase(std::remove_if(m_cameras.begin(), m_cameras.end(),
                                       [](const Camera& camera) { return camera.session.isNull(); }),
                        m_cameras.end());
        emit camerasChanged();
    });
    // The first chunks of the day give the cameras somewhere to start.
    connect(session->spans(), &ChunkSpans::changed, this, [this] {
        if (m_positionMs < 0)
            seekTo(m_startFrom >= m_dayStart && m_startFrom < m_dayEnd ? m_startFrom : m_dayStart);
    });
    qCDebug(lcMulticam) << "In step:" << session->strmId() << "with" << m_cameras.size() - 1 << "others";
    emit camerasChanged();
    if (m_timer.interval() > 0 && !m_timer.isActive())
        m_timer.start();
    if (m_positionMs >= 0)
        seekTo(m_positionMs);
    return true;
}

void CameraSync::removeCamera(RecordedSession* session)
{
    const int index = indexOf(session);
    if (index < 0)
        return;
    disconnect(session, nullptr, this, nullptr);
    disconnect(session->spans(), nullptr, this, nullptr);
    session->setFollowsClock(false);
    m_cameras.remove(index);
    emit camerasChanged();
    if (m_cameras.isEmpty())
        m_timer.stop();
}

void CameraSync::clear()
{
    while (!m_cameras.isEmpty()) {
        RecordedSession* session = m_cameras.last().session;
        if (session) {
            removeCamera(session);
        } else {
            m_cameras.removeLast();
            emit camerasChanged();
        }
    }
    m_timer.stop();
}

RecordedSession* CameraSync::cameraAt(int index) const
{
    return index >= 0 && index < m_cameras.size() ? m_cameras.at(index).session.data() : nullptr;
}

bool CameraSync::inStep(RecordedSession* session) const
{
    const int index = indexOf(session);
    return index >= 0 && m_cameras.at(index).inStep;
}

void CameraSync::setInStep(RecordedSession* session, bool inStep)
{
    const int index = indexOf(session);
    if (index < 0 || m_cameras.at(index).inStep == inStep)
        return;
    Camera& camera = m_cameras[index];
    camera.inStep = inStep;
    camera.pausedAsked = -1;
    camera.speedAsked = -1;
    camera.seekTarget = -1;
    session->setFollowsClock(inStep);
    if (inStep) {
        session->setMarkA(m_markA);
        session->setMarkB(m_markB);
        if (session->dayStart() != m_dayStart)
            session->loadDay(m_dayStart);
        // Back at the clock's moment before the others go on.
        if (m_positionMs >= 0)
            seekTo(m_clock.position());
    } else {
        // On its own it plays at the speed its own controls choose.
        session->setPlayerSpeed(session->speed());
    }
    qCDebug(lcMulticam) << session->strmId() << (inStep ? "back in step" : "out of step");
    emit camerasChanged();
}

qreal CameraSync::offsetOf(RecordedSession* session) const
{
    if (!session || session->positionMs() < 0 || m_positionMs < 0)
        return 0;
    return session->positionMs() - m_clock.position();
}

// --- The clock --------------------------------------------------------------------------------

void CameraSync::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (m_paused)
        m_clock.stop();
    else if (!m_holding && m_positionMs >= 0)
        m_clock.start();
    logAnchor();
    emit pausedChanged();
    tick();
}

void CameraSync::togglePause()
{
    setPaused(!m_paused);
}

void CameraSync::setSpeed(qreal speed)
{
    if (speed <= 0 || speed == m_clock.rate())
        return;
    const bool wasFast = keyframesOnly();
    m_clock.setRate(speed);
    m_decodeBound = false;
    for (Camera& camera : m_cameras)
        camera.falls = 0;
    logAnchor();
    emit speedChanged();
    // Into or out of key frames only: the cameras start again from the clock's moment.
    if (wasFast != keyframesOnly() && m_positionMs >= 0)
        seekTo(m_clock.position());
}

int CameraSync::speedIndex() const
{
    return PlaybackTime::nearestSpeedIndex(m_speeds, speed());
}

void CameraSync::changeSpeed(int direction)
{
    setSpeed(m_speeds.at(std::clamp(speedIndex() + direction, 0, int(m_speeds.size()) - 1)));
}

qreal CameraSync::playableFrom(qreal ms) const
{
    const qint64 at = qint64(std::floor(ms));
    qint64 next = -1;
    for (const Camera& camera : m_cameras) {
        if (!camera.session || !camera.inStep)
            continue;
        const ChunkSpans* spans = camera.session->spans();
        if (spans->indexAt(at) >= 0)
            return ms;
        const int index = spans->nextIndex(at);
        if (index >= 0) {
            const qint64 start = spans->chunks()[std::size_t(index)].start;
            next = next < 0 ? start : std::min(next, start);
        }
    }
    return qreal(next);
}

void CameraSync::seekTo(qreal ms)
{
    const qreal target = playableFrom(ms);
    if (target < 0) {
        qCDebug(lcMulticam).noquote() << "Nothing recorded at or after"
                                      << QDateTime::fromMSecsSinceEpoch(qint64(ms)).toString(Qt::ISODateWithMs)
                                      << "on any camera in step";
        return;
    }
    m_clock.seek(target);
    hold();
    for (Camera& camera : m_cameras) {
        if (!camera.session || !camera.inStep)
            continue;
        camera.seekTarget = -1;
        follow(camera, target);
    }
    updatePosition();
    followOnTimeline();
}

void CameraSync::startFrom(qreal ms)
{
    m_startFrom = ms;
    if (m_positionMs >= 0 || playableFrom(ms) >= 0)
        seekTo(ms);
}

void CameraSync::step(qreal deltaMs)
{
    if (m_positionMs < 0)
        return;
    seekTo(std::max(m_dayStart, m_clock.position() + deltaMs));
}

void CameraSync::frameStep(bool forward)
{
    if (m_positionMs < 0)
        return;
    setPaused(true);
    seekTo(std::max(m_dayStart, m_clock.position() + (forward ? m_frameMs : -m_frameMs)));
}

void CameraSync::hold()
{
    m_settledTicks = 0;
    m_clock.stop();
    m_holdSince = m_clock.now();
    setHolding(true);
    logAnchor();
}

void CameraSync::release()
{
    setHolding(false);
    if (!m_paused)
        m_clock.start();
    logAnchor();
}

void CameraSync::setHolding(bool holding)
{
    if (holding == m_holding)
        return;
    m_holding = holding;
    emit holdingChanged();
}

void CameraSync::updatePosition()
{
    const qreal position = std::round(m_clock.position());
    if (position == m_positionMs)
        return;
    m_positionMs = position;
    emit positionMsChanged();
}

void CameraSync::logAnchor() const
{
    qCDebug(lcMulticam).noquote() << QStringLiteral("clock anchor: position_ms=%1 monotonic_ms=%2 rate=%3 running=%4")
                                         .arg(QString::number(m_clock.anchorPosition(), 'f', 1))
                                         .arg(m_clock.anchorNow())
                                         .arg(m_clock.rate())
                                         .arg(m_clock.running() ? 1 : 0);
}

void CameraSync::handleSeekRequest(qreal ms)
{
    seekTo(ms);
}

void CameraSync::handleDayRequest(qreal ms)
{
    showDay(ms);
}

void CameraSync::showDay(qreal ms)
{
    const qreal start = PlaybackTime::startOfDay(ms);
    m_dayStart = start;
    m_dayEnd = PlaybackTime::endOfDay(start);
    emit dayChanged();
    if (m_timeline) {
        m_timeline->setDayStart(qint64(m_dayStart));
        m_timeline->setDayEnd(qint64(m_dayEnd));
        m_timeline->showWholeDay();
    }
    // The new day's first chunks start the cameras again.
    m_positionMs = -1;
    m_clock.stop();
    emit positionMsChanged();
    for (Camera& camera : m_cameras)
        if (camera.session && camera.inStep)
            camera.session->loadDay(ms);
}

void CameraSync::followOnTimeline()
{
    if (!m_timeline || m_positionMs < 0)
        return;
    const qint64 viewStart = m_timeline->viewStart();
    const qint64 viewEnd = m_timeline->viewEnd();
    if (m_positionMs >= viewStart && m_positionMs < viewEnd)
        return;
    const qreal halfWidth = qreal(viewEnd - viewStart) / 2;
    m_timeline->setViewStart(std::llround(m_positionMs - halfWidth));
    m_timeline->setViewEnd(std::llround(m_positionMs + halfWidth));
}

// --- Marks and export -------------------------------------------------------------------------

void CameraSync::setMarkA(qreal ms)
{
    if (ms == m_markA)
        return;
    m_markA = ms;
    for (Camera& camera : m_cameras)
        if (camera.session && camera.inStep)
            camera.session->setMarkA(ms);
    emit marksChanged();
}

void CameraSync::setMarkB(qreal ms)
{
    if (ms == m_markB)
        return;
    m_markB = ms;
    for (Camera& camera : m_cameras)
        if (camera.session && camera.inStep)
            camera.session->setMarkB(ms);
    emit marksChanged();
}

void CameraSync::setMark()
{
    if (m_positionMs < 0)
        return;
    if (m_markA < 0 || m_markB >= 0) {
        setMarkA(m_positionMs);
        setMarkB(-1);
    } else {
        setMarkB(m_positionMs);
    }
}

void CameraSync::clearMarks()
{
    setMarkA(-1);
    setMarkB(-1);
}

QVariantList CameraSync::exportSpan() const
{
    if (m_markA >= 0 && m_markB >= 0)
        return {std::min(m_markA, m_markB), std::max(m_markA, m_markB)};
    // The chunk each camera plays: from the earliest start to the latest end among them.
    qreal from = -1;
    qreal to = -1;
    for (const Camera& camera : m_cameras) {
        if (!camera.session || !camera.inStep || camera.session->startTime().isEmpty())
            continue;
        const qreal start = camera.session->startTime().toDouble();
        const qreal end = camera.session->endTime().toDouble();
        from = from < 0 ? start : std::min(from, start);
        to = std::max(to, end);
    }
    return {from, to};
}

QVariantList CameraSync::exportCameras() const
{
    const bool marked = m_markA >= 0 && m_markB >= 0;
    const QVariantList span = exportSpan();
    QVariantList cameras;
    for (const Camera& camera : m_cameras) {
        if (!camera.session || !camera.inStep)
            continue;
        const RecordedSession* session = camera.session;
        const QStringList urls = marked ? session->chunkUrlsBetween(span.at(0).toDouble(), span.at(1).toDouble())
                                        : session->chunkUrlsBetween(0, 0);
        cameras.append(QVariantMap{
            {QStringLiteral("camera"), session->cameraName().isEmpty() ? session->strmId() : session->cameraName()},
            {QStringLiteral("streamId"), session->strmId()},
            {QStringLiteral("deviceId"), session->devId()},
            {QStringLiteral("urls"), urls},
        });
    }
    return cameras;
}

bool CameraSync::exportTo(MultiCameraExporter* exporter, const QString& folder) const
{
    if (!exporter)
        return false;
    QString operatorName;
    QString server;
    for (const Camera& camera : m_cameras) {
        if (camera.session && camera.session->client()) {
            const VantorClient* client = camera.session->client();
            operatorName = client->username();
            server = QStringLiteral("%1:%2").arg(client->host()).arg(client->port());
            break;
        }
    }
    exporter->setProvenance(QSysInfo::machineHostName(), operatorName, server);
    const QVariantList span = exportSpan();
    return exporter->start(exportCameras(), folder, qlonglong(span.at(0).toDouble()), qlonglong(span.at(1).toDouble()));
}

// --- Keeping the cameras in step ----------------------------------------------------------------

void CameraSync::askPaused(Camera& camera, bool paused)
{
    if (camera.pausedAsked == int(paused))
        return;
    camera.pausedAsked = int(paused);
    camera.session->setPlayerPaused(paused);
}

void CameraSync::askSpeed(Camera& camera, qreal speed)
{
    if (camera.speedAsked > 0 && std::abs(camera.speedAsked - speed) < 0.005 * speed)
        return;
    camera.speedAsked = speed;
    camera.session->setPlayerSpeed(speed);
}

void CameraSync::askSeek(Camera& camera, qreal ms, bool exact)
{
    camera.seekTarget = ms;
    camera.exactSeek = exact;
    camera.seekAskedAt = m_clock.now();
    camera.positionAtSeek = camera.session->positionMs();
    camera.session->seekPlayer(ms, exact);
}

qreal CameraSync::aimAt(qreal moment) const
{
    return moment - m_frameMs + FrameAimMs;
}

qreal CameraSync::keyframeAim(qreal moment) const
{
    return moment + KeyframeToleranceMs + m_clock.rate() * (m_tickMs + m_seekLatencyMs);
}

bool CameraSync::seekUnderway(Camera& camera, qint64 now)
{
    if (camera.seekTarget < 0)
        return false;
    const qreal position = camera.session->positionMs();
    const bool moved = position >= 0 && position != camera.positionAtSeek;
    // A seek to where the player is already shows the same frame: nothing moves, and it is done.
    const bool there = position >= 0 && std::abs(position - camera.seekTarget) <= m_frameMs;
    // A key-frame seek lands where the key frame is, seconds before the point it aimed at.
    const bool landed = moved && (!camera.exactSeek || std::abs(position - camera.seekTarget) < ResyncMs + m_frameMs);
    if (there || landed || now - camera.seekAskedAt > SeekPatienceMs) {
        // How long the players take to show a seek's frame: what a key-frame seek aims ahead for.
        if (landed && !camera.exactSeek)
            m_seekLatencyMs += (qreal(now - camera.seekAskedAt) - m_seekLatencyMs) / 5;
        camera.seekTarget = -1;
        return false;
    }
    return true;
}

void CameraSync::follow(Camera& camera, qreal now)
{
    RecordedSession* session = camera.session;
    const ChunkSpans* spans = session->spans();
    // Its day's chunks are not in yet: nothing to go by.
    if (session->strmId().isEmpty() || spans->count() == 0)
        return;
    const bool keyframes = keyframesOnly() && !m_paused && !m_holding;
    // Playing, the next chunk is taken at the tick nearest its start: its first frame is shown
    // at most half a tick early rather than up to a tick late.
    const qreal lead = m_paused || m_holding ? 0 : m_tickMs / 2.0 * std::max<qreal>(1, m_clock.rate());
    int index = spans->indexAt(qint64(std::floor(now + lead)));
    // Key frame by key frame, a camera shows the frame its next seek aims at: the next chunk is
    // loaded once that point is in it, not a load's time after the clock got there.
    if (keyframes) {
        const int ahead = spans->indexAt(qint64(std::floor(keyframeAim(now))));
        if (ahead >= 0)
            index = ahead;
    }
    if (index >= 0) {
        const ChunkSpans::Chunk& chunk = spans->chunks()[std::size_t(index)];
        // Its player, a little ahead of the clock, has already gone on into the chunk that follows:
        // it is kept there (and slowed if need be), not sent back for the last moments of this one.
        const std::size_t following = std::size_t(index) + 1;
        if (following < std::size_t(spans->count())) {
            const ChunkSpans::Chunk& next = spans->chunks()[following];
            if (next.start == chunk.end && session->isOnChunk(next.start, next.end) &&
                qreal(next.start) - now < ResyncMs * std::max<qreal>(1, m_clock.rate()))
                index = int(following);
        }
    }
    if (index < 0 ||
        !session->isOnChunk(spans->chunks()[std::size_t(index)].start, spans->chunks()[std::size_t(index)].end)) {
        // Another chunk, or none: the session fetches it (or stops between recordings).
        camera.seekTarget = -1;
        camera.pausedAsked = -1;
        if (index >= 0)
            session->followClock(qMax(now, qreal(spans->chunks()[std::size_t(index)].start)),
                                 keyframes ? keyframeAim(now) : aimAt(now));
        else
            session->followClock(now, aimAt(now));
        return;
    }
    if (session->positionMs() < 0 || !session->downloadError().isEmpty() || session->playFailed())
        return;
    const qint64 sourceNow = m_clock.now();
    const qreal rate = m_clock.rate();
    const bool fast = keyframesOnly();
    const bool still = m_paused || m_holding || fast;
    askPaused(camera, still);
    if (seekUnderway(camera, sourceNow))
        return;
    // A frame stays on the picture until the next is due: centred on it, the picture is on time.
    // Playing, the frame the player reports now is on the screen a moment later, when the clock
    // has moved on by that moment times its rate.
    const qreal shown = still ? now : now + displayLatencyAt(rate) * rate;
    const qreal offset = session->positionMs() + m_frameMs / 2.0 - shown;
    if (still) {
        if (fast && !m_holding && !m_paused) {
            // A key-frame seek lands on the key frame at or before the point: aimed a tolerance
            // past where the clock will be once the frame is shown, it shows the key frame
            // nearest the moment, and the next is asked for before this one falls farther behind
            // than the tolerance.
            const qreal lead = keyframeAim(now) - now - KeyframeToleranceMs;
            if (offset < lead - KeyframeToleranceMs || offset > 2 * KeyframeToleranceMs + lead)
                askSeek(camera, keyframeAim(now), false);
        } else if (std::abs(offset) > m_frameMs / 2.0 + FrameAimMs) {
            // Farther than the frame a seek aimed at the moment may show.
            askSeek(camera, aimAt(now), true);
        }
        return;
    }
    // Faster than 1x, a camera that stays half a second behind plays on a player that cannot
    // decode every frame at that speed: the cameras show key frames, as above the fast rate.
    if (offset < -KeyframeToleranceMs && rate > 1 && sourceNow - camera.lastFallAt >= FallSpacingMs) {
        camera.lastFallAt = sourceNow;
        if (++camera.falls >= DecodeBoundFalls) {
            m_decodeBound = true;
            qCInfo(lcMulticam).noquote()
                << QStringLiteral("Cameras fall behind at %1x: key frames only until the speed changes").arg(rate);
            return;
        }
    }
    if (std::abs(offset) > ResyncMs * std::max<qreal>(1, rate)) {
        askSpeed(camera, rate);
        askSeek(camera, aimAt(shown), true);
        return;
    }
    // Within a quarter frame it plays at the clock's rate; farther off, a little faster or slower.
    const qreal nudge = std::abs(offset) < m_frameMs / 4.0
                            ? 0
                            : std::clamp(-offset / (CatchUpMs * std::max<qreal>(1, rate)), -MaxNudge, MaxNudge);
    askSpeed(camera, rate * (1 + nudge));
}

bool CameraSync::settledAt(const Camera& camera, qreal now) const
{
    const RecordedSession* session = camera.session;
    if (!session || session->strmId().isEmpty() || session->noRecording() || session->spans()->count() == 0)
        return true;
    if (!session->downloadError().isEmpty() || session->playFailed())
        return true;
    const qreal position = session->positionMs();
    return position >= 0 && camera.seekTarget < 0 && std::abs(position + m_frameMs / 2.0 - now) <= m_frameMs;
}

QString CameraSync::lateReason(const Camera& camera, qreal now) const
{
    const RecordedSession* session = camera.session;
    if (session->downloading())
        return QStringLiteral("fetching its chunk");
    if (session->positionMs() < 0)
        return session->playingFile().isEmpty() ? QStringLiteral("no chunk") : QStringLiteral("loading its chunk");
    const QString offset = QString::number(qint64(session->positionMs() + m_frameMs / 2.0 - now));
    if (camera.seekTarget >= 0)
        return QStringLiteral("seeking, %1 ms off").arg(offset);
    return QStringLiteral("%1 ms off").arg(offset);
}

void CameraSync::tick()
{
    if (m_positionMs < 0 || m_cameras.isEmpty())
        return;
    qreal now = m_clock.position();
    if (!m_holding && m_clock.running()) {
        // Every camera between recordings: on to the next recording of any.
        bool anyRecording = false;
        for (const Camera& camera : m_cameras)
            if (camera.session && camera.inStep && camera.session->spans()->indexAt(qint64(std::floor(now))) >= 0)
                anyRecording = true;
        if (!anyRecording) {
            const qreal next = playableFrom(now);
            if (next < 0) {
                setPaused(true);
                return;
            }
            seekTo(next);
            now = m_clock.position();
        }
    }
    for (Camera& camera : m_cameras)
        if (camera.session && camera.inStep)
            follow(camera, now);
    if (m_holding) {
        const bool settled = std::all_of(m_cameras.cbegin(), m_cameras.cend(), [&](const Camera& camera) {
            return !camera.inStep || settledAt(camera, now);
        });
        // A player says where it is a little before its picture is on the screen.
        m_settledTicks = settled ? m_settledTicks + 1 : 0;
        if (m_settledTicks > SettledTicks || m_clock.now() - m_holdSince >= m_holdTimeoutMs) {
            if (!settled) {
                QStringList late;
                for (const Camera& camera : m_cameras)
                    if (camera.inStep && !settledAt(camera, now))
                        late << QStringLiteral("%1 (%2)").arg(camera.session->strmId(), lateReason(camera, now));
                qCDebug(lcMulticam).noquote() << "Cameras not at the moment after" << m_holdTimeoutMs
                                              << "ms: going on; late:" << late.join(QStringLiteral(", "));
            }
            release();
            for (Camera& camera : m_cameras)
                if (camera.session && camera.inStep)
                    follow(camera, now);
        }
    }
    updatePosition();
    followOnTimeline();
}
