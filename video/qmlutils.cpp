// SPDX-License-Identifier: MIT
#include "qmlutils.h"

#include <map>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>
#include <QTime>
#include <QtQml>

namespace {

constexpr qint64 showMs = 5000;

const char assHeader[] =
    "[Script Info]\n"
    "Title: Default POS file\n"
    "ScriptType: v4.00+\n"
    "WrapStyle: 0\n"
    "ScaledBorderAndShadow: yes\n"
    "YCbCr Matrix: None\n"
    "\n"
    "[V4+ Styles]\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\n"
    "Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,2,7,10,10,10,1\n"
    "\n"
    "[Events]\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

// h:mm:ss.cc, hundredths truncated.
QString assTime(qint64 ms)
{
    if (ms < 0)
        ms = 0;
    const qint64 hours = ms / 3600000;
    const qint64 minutes = ms / 60000 % 60;
    const qint64 seconds = ms / 1000 % 60;
    const qint64 hundredths = ms % 1000 / 10;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(hundredths, 2, 10, QLatin1Char('0'));
}

// Times beyond this many milliseconds from the epoch (about 285,000 years) are not times of a
// recording; the bound also keeps every difference and sum of two times exact.
constexpr double maxTimeMs = 9007199254740992.0; // 2^53

// Milliseconds, truncated; false for a value that is no time (NaN, infinite, out of range).
bool toMs(const QJsonValue& value, qint64& ms)
{
    const double number = value.toDouble();
    if (!(number >= -maxTimeMs && number <= maxTimeMs))
        return false;
    ms = static_cast<qint64>(number);
    return true;
}

// Only a plain name may be joined to the temporary folder.
bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && !name.contains(QLatin1String("..")) &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

QString tempFolder()
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::TempLocation);
    return locations.isEmpty() ? QString() : locations.first();
}

// Writes a new file and moves it into place: whatever sits at `path` (a planted symbolic link
// included) is replaced, never written through.
bool writeReplacing(const QString& path, const QByteArray& bytes)
{
    QTemporaryFile file(QFileInfo(path).absolutePath() + QStringLiteral("/.sub-XXXXXX"));
    if (!file.open())
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush())
        return false;
    file.close();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (file.rename(path)) {
            file.setAutoRemove(false);
            return true;
        }
        QFile::remove(path);
    }
    return false;
}

} // namespace

QmlUtils::QmlUtils(QObject* parent) : QObject(parent) {}

QmlUtils::~QmlUtils() = default;

QString QmlUtils::saveTmpSubtitle(QString name, QString content)
{
    qDebug() << Q_FUNC_INFO;
    qDebug() << "  name:" << name;
    if (!isPlainFileName(name)) {
        qWarning() << "Subtitle file name must be a plain file name, not" << name;
        return QString();
    }

    QString path = QStandardPaths::locate(QStandardPaths::TempLocation, name);
    if (path.isEmpty()) {
        const QString folder = tempFolder();
        path = folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    }
    const QFileInfo old(path);
    if (old.exists() || old.isSymLink()) {
        qDebug() << "Removing old one ...";
        QFile::remove(path);
    }
    qDebug() << "File path:" << path;

    const QByteArray ass = assFromPosDocument(content);
    if (ass.isEmpty())
        return QString();

    if (!writeReplacing(path, ass)) {
        qWarning() << "Cannot write the subtitle file" << path;
        return QString();
    }
    return path;
}

QByteArray QmlUtils::assFromPosDocument(const QString& content)
{
    const QJsonDocument document = QJsonDocument::fromJson(content.toUtf8());
    if (!document.isObject()) {
        qWarning() << "Sub JSON must be object";
        return QByteArray();
    }
    const QJsonObject root = document.object();
    if (!root.contains(QLatin1String("from"))) {
        qWarning() << "JSON don't have `from` field";
        return QByteArray();
    }
    qint64 from = 0;
    if (!toMs(root.value(QLatin1String("from")), from)) {
        qWarning() << "JSON `from` field is not a time";
        return QByteArray();
    }
    if (!root.contains(QLatin1String("to"))) {
        qWarning() << "JSON don't have `to` field";
        return QByteArray();
    }
    if (!root.contains(QLatin1String("arr"))) {
        qWarning() << "JSON don't have `arr` field";
        return QByteArray();
    }
    const QJsonArray entries = root.value(QLatin1String("arr")).toArray();

    // What is on screen from each time on; every line stays for showMs.
    QStringList visible;
    QList<qint64> expiries;
    std::map<qint64, QStringList> timeline;
    auto expire = [&](qint64 until, bool all) {
        const QList<qint64> snapshot = expiries;
        for (qint64 end : snapshot) {
            if (!all && end > until)
                continue;
            if (!visible.isEmpty())
                visible.removeFirst();
            expiries.removeOne(end);
            timeline[end] = visible;
        }
    };
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        if (entry.isEmpty()) {
            qWarning() << "sub obj empty";
            continue;
        }
        if (!entry.contains(QLatin1String("time"))) {
            qWarning() << "sub don't have `time` field";
            continue;
        }
        if (!entry.contains(QLatin1String("text"))) {
            qWarning() << "sub don't have `text` field";
            continue;
        }
        qint64 time = 0;
        if (!toMs(entry.value(QLatin1String("time")), time)) {
            qWarning() << "sub `time` field is not a time";
            continue;
        }
        const qint64 rel = time - from;
        QString text = entry.value(QLatin1String("text")).toString();
        text.remove(QLatin1String("\\n"));
        expire(rel, false);
        visible.append(text);
        timeline[rel] = visible;
        expiries.append(rel + showMs);
    }
    expire(0, true);

    QString events;
    for (auto it = timeline.cbegin(); it != timeline.cend(); ++it) {
        const auto next = std::next(it);
        if (next == timeline.cend())
            break;
        QString text = it->second.join(QLatin1String("\\N"));
        // A line break would cut the dialogue line; POS texts often end their lines with CR LF.
        text.remove(QLatin1Char('\n'));
        text.remove(QLatin1Char('\r'));
        events += QStringLiteral("Dialogue: 0,%1,%2,Default,,0,0,0,,%3\n")
                      .arg(assTime(it->first), assTime(next->first), text);
    }
    if (events.isEmpty()) {
        qWarning() << "Empty sub!";
        return QByteArray();
    }

    return QByteArray(assHeader) + events.toUtf8();
}

QString QmlUtils::formatDateTime(QString ms, QString format)
{
    Q_UNUSED(format)
    const QTime time = QDateTime::fromMSecsSinceEpoch(ms.toLongLong(), Qt::UTC).time();
    // "h:mm:ss.z" with the milliseconds without leading zeros (3723004 gives 1:02:03.4); Qt's own
    // "z" pads them to three digits.
    return time.toString(QStringLiteral("h:mm:ss.")) + QString::number(time.msec());
}
