// SPDX-License-Identifier: MIT
#include "tilestatsrecord.h"

#include <QHash>
#include <QStringList>

namespace {

const QString Prefix = QStringLiteral("tile-stats ");
const QString PathKey = QStringLiteral(" path=");

QString rectText(const QRect& rect)
{
    return QStringLiteral("%1,%2,%3,%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

QString sizeText(const QSize& size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QRect rectOf(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return QRect();
    return QRect(parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt(), parts.at(3).toInt());
}

QSize sizeOf(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return QSize();
    return QSize(parts.at(0).toInt(), parts.at(1).toInt());
}

// The key=value fields of a record; the path, the last field, runs to the end of the line and may
// hold spaces.
QHash<QString, QString> fieldsOf(QString body)
{
    QHash<QString, QString> fields;
    const int path = body.indexOf(PathKey);
    if (path >= 0) {
        fields.insert(QStringLiteral("path"), body.mid(path + PathKey.size()));
        body.truncate(path);
    }
    const QStringList tokens = body.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& token : tokens) {
        const int equals = token.indexOf(QLatin1Char('='));
        if (equals > 0)
            fields.insert(token.left(equals), token.mid(equals + 1));
        else
            fields.insert(token, QString());
    }
    return fields;
}

qint64 numberOf(const QHash<QString, QString>& fields, const QString& key, bool* ok)
{
    bool valid = false;
    const qint64 value = fields.value(key).toLongLong(&valid);
    if (!valid)
        *ok = false;
    return value;
}

} // namespace

namespace TileStatsRecord {

QString lines(const TileStatsTick& tick)
{
    QString text = QStringLiteral("tile-stats tick=%1 t_ms=%2 tiles=%3 window=%4\n")
                       .arg(tick.number)
                       .arg(tick.ms)
                       .arg(tick.tiles)
                       .arg(rectText(tick.window));
    for (const TileSample& sample : tick.samples) {
        text += QStringLiteral("tile-stats tick=%1 tile=%2 size=%3 loaded=%4 frame=%5 drop=%6 decdrop=%7 delayed=%8 "
                               "video=%9 pos=%10 vffps=%11 presented=%12 decode=%13 hwdec=%14 rect=%15 path=%16\n")
                    .arg(tick.number)
                    .arg(sample.index)
                    .arg(sizeText(sample.size))
                    .arg(sample.loaded ? 1 : 0)
                    .arg(sample.frame)
                    .arg(sample.drop)
                    .arg(sample.decdrop)
                    .arg(sample.delayed)
                    .arg(sizeText(sample.video))
                    .arg(sample.pos, 0, 'f', 3)
                    .arg(sample.vffps, 0, 'f', 2)
                    .arg(sample.presented)
                    .arg(sample.decode)
                    .arg(sample.hwdec.isEmpty() ? QStringLiteral("-") : sample.hwdec)
                    .arg(rectText(sample.rect))
                    .arg(sample.path);
    }
    return text;
}

QString layoutsLine(qint64 ms, int first, int last)
{
    return QStringLiteral("tile-stats layouts t_ms=%1 rows=%2-%3\n").arg(ms).arg(first).arg(last);
}

QString timelineLine(const TimelineSample& timeline)
{
    return QStringLiteral("tile-stats timeline t_ms=%1 rect=%2 view=%3-%4\n")
        .arg(timeline.ms)
        .arg(rectText(timeline.rect))
        .arg(timeline.viewStart)
        .arg(timeline.viewEnd);
}

} // namespace TileStatsRecord

void TileStatsReader::addLine(const QString& line)
{
    QString body = line;
    while (body.endsWith(QLatin1Char('\n')) || body.endsWith(QLatin1Char('\r')))
        body.chop(1);
    if (!body.startsWith(Prefix))
        return;
    const QHash<QString, QString> fields = fieldsOf(body.mid(Prefix.size()));
    bool ok = true;

    if (fields.contains(QStringLiteral("timeline"))) {
        TimelineSample timeline;
        timeline.ms = numberOf(fields, QStringLiteral("t_ms"), &ok);
        timeline.rect = rectOf(fields.value(QStringLiteral("rect")));
        const QStringList view = fields.value(QStringLiteral("view")).split(QLatin1Char('-'));
        if (view.size() != 2)
            return;
        bool startOk = false;
        bool endOk = false;
        timeline.viewStart = view.at(0).toLongLong(&startOk);
        timeline.viewEnd = view.at(1).toLongLong(&endOk);
        // A view that is not one would send a click anywhere.
        if (ok && startOk && endOk && timeline.rect.width() > 0 && timeline.viewEnd > timeline.viewStart)
            m_timelines.push_back(timeline);
        return;
    }
    if (fields.contains(QStringLiteral("layouts"))) {
        const qint64 ms = numberOf(fields, QStringLiteral("t_ms"), &ok);
        if (ok)
            m_layoutListings.push_back(ms);
        return;
    }

    const qint64 number = numberOf(fields, QStringLiteral("tick"), &ok);
    if (!ok)
        return;
    if (fields.contains(QStringLiteral("tiles"))) {
        // A new sample: one still waiting for its tiles was cut short.
        TileStatsTick tick;
        tick.number = number;
        tick.ms = numberOf(fields, QStringLiteral("t_ms"), &ok);
        tick.tiles = static_cast<int>(numberOf(fields, QStringLiteral("tiles"), &ok));
        tick.window = rectOf(fields.value(QStringLiteral("window")));
        m_hasPending = ok && tick.tiles >= 0;
        m_pending = tick;
    } else if (m_hasPending && number == m_pending.number && fields.contains(QStringLiteral("tile"))) {
        TileSample sample;
        sample.index = static_cast<int>(numberOf(fields, QStringLiteral("tile"), &ok));
        sample.size = sizeOf(fields.value(QStringLiteral("size")));
        sample.loaded = fields.value(QStringLiteral("loaded")) == QLatin1String("1");
        sample.frame = numberOf(fields, QStringLiteral("frame"), &ok);
        sample.drop = numberOf(fields, QStringLiteral("drop"), &ok);
        sample.decdrop = numberOf(fields, QStringLiteral("decdrop"), &ok);
        sample.delayed = numberOf(fields, QStringLiteral("delayed"), &ok);
        sample.video = sizeOf(fields.value(QStringLiteral("video")));
        sample.pos = fields.value(QStringLiteral("pos")).toDouble();
        sample.vffps = fields.value(QStringLiteral("vffps")).toDouble();
        sample.presented = numberOf(fields, QStringLiteral("presented"), &ok);
        // Not in the records of earlier versions.
        bool haveDecode = false;
        const int decode = fields.value(QStringLiteral("decode")).toInt(&haveDecode);
        sample.decode = haveDecode ? decode : -1;
        const QString hwdec = fields.value(QStringLiteral("hwdec"));
        sample.hwdec = hwdec == QLatin1String("-") ? QString() : hwdec;
        sample.rect = rectOf(fields.value(QStringLiteral("rect")));
        sample.path = fields.value(QStringLiteral("path"));
        if (!ok) {
            // A garbled sample spoils its tick.
            m_hasPending = false;
            return;
        }
        m_pending.samples.push_back(sample);
    } else {
        return;
    }
    if (m_hasPending && static_cast<int>(m_pending.samples.size()) == m_pending.tiles) {
        m_ticks.push_back(std::move(m_pending));
        m_pending = TileStatsTick();
        m_hasPending = false;
    }
}
