// SPDX-License-Identifier: MIT
#include "postrack.h"

#include <algorithm>
#include <cmath>

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtQml>

#include "recordedlog.h"

namespace {

// A time as the gateway writes it: a number, or a text of one.
bool parseTime(const QJsonValue& value, qint64& ms)
{
    double number = 0;
    if (value.isDouble()) {
        number = value.toDouble();
    } else if (value.isString()) {
        bool ok = false;
        number = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            return false;
    } else {
        return false;
    }
    if (!std::isfinite(number) || std::fabs(number) > 9.0e15)
        return false;
    ms = std::llround(number);
    return true;
}

} // namespace

PosTrack::PosTrack(QObject* parent) : QObject(parent) {}

PosTrack::~PosTrack() = default;

void PosTrack::setLeadMs(int value)
{
    if (value == m_leadMs)
        return;
    m_leadMs = value;
    emit changed();
}

void PosTrack::setMaxLines(int value)
{
    value = std::max(1, value);
    if (value == m_maxLines)
        return;
    m_maxLines = value;
    rebuildQueue();
    emit changed();
}

void PosTrack::setHoldMs(int value)
{
    value = std::max(0, value);
    if (value == m_holdMs)
        return;
    m_holdMs = value;
    rebuildQueue();
    emit changed();
}

void PosTrack::setTrimMs(int value)
{
    value = std::max(1, value);
    if (value == m_trimMs)
        return;
    m_trimMs = value;
    rebuildQueue();
    emit changed();
}

bool PosTrack::load(const QString& json)
{
    m_receipts.clear();
    m_lines.clear();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    const QJsonObject answer = doc.object();
    bool usable = doc.isObject();
    for (const char* field : {"from", "to", "arr"}) {
        if (usable && !answer.contains(QLatin1String(field))) {
            qCWarning(lcRecorded).noquote() << "POS data without the field `" + QLatin1String(field) + "`";
            usable = false;
        }
    }
    if (!doc.isObject())
        qCWarning(lcRecorded).noquote() << "POS data is no JSON object:" << error.errorString();
    qint64 from = 0;
    if (usable &&
        (!parseTime(answer.value(QLatin1String("from")), from) || !answer.value(QLatin1String("arr")).isArray())) {
        qCWarning(lcRecorded, "POS data with an invalid `from` or `arr`");
        usable = false;
    }
    if (!usable) {
        emit changed();
        return false;
    }

    struct Entry
    {
        qint64 time;
        QString text;
    };
    std::vector<Entry> entries;
    const QJsonArray arr = answer.value(QLatin1String("arr")).toArray();
    entries.reserve(static_cast<std::size_t>(arr.size()));
    int skipped = 0;
    for (const QJsonValue& value : arr) {
        const QJsonObject entry = value.toObject();
        qint64 time = 0;
        if (!value.isObject() || !parseTime(entry.value(QLatin1String("time")), time) ||
            !entry.contains(QLatin1String("text"))) {
            ++skipped;
            continue;
        }
        const QJsonValue text = entry.value(QLatin1String("text"));
        entries.push_back({time, text.isString() ? text.toString() : text.toVariant().toString()});
    }
    if (skipped > 0)
        qCWarning(lcRecorded, "POS data: %d entries without a usable `time` or `text` left out", skipped);
    // By time even when the gateway lists them otherwise; equal times keep their order.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });

    m_receipts.reserve(entries.size());
    for (const Entry& entry : entries) {
        Receipt receipt;
        receipt.time = entry.time;
        receipt.firstLine = m_lines.size();
        const QStringList lines = entry.text.split(QLatin1Char('\n'));
        receipt.lineCount = lines.size();
        m_lines += lines;
        m_receipts.push_back(receipt);
    }
    rebuildQueue();
    qCDebug(lcRecorded) << "POS receipts:" << m_receipts.size();
    emit changed();
    return true;
}

void PosTrack::clear()
{
    if (m_receipts.empty())
        return;
    m_receipts.clear();
    m_lines.clear();
    emit changed();
}

int PosTrack::trimmedAfter(qint64 elapsedMs) const
{
    if (elapsedMs < m_holdMs)
        return 0;
    const qint64 trimmed = (elapsedMs - m_holdMs) / m_trimMs + 1;
    return static_cast<int>(std::min<qint64>(trimmed, m_maxLines));
}

// How many lines the overlay holds right after each receipt, so that any moment is found without
// replaying the day.
void PosTrack::rebuildQueue()
{
    int queued = 0;
    for (std::size_t i = 0; i < m_receipts.size(); ++i) {
        Receipt& receipt = m_receipts[i];
        if (i > 0)
            queued = std::max(0, queued - trimmedAfter(receipt.time - m_receipts[i - 1].time));
        queued = std::min(m_maxLines, queued + receipt.lineCount);
        receipt.queued = queued;
    }
}

QStringList PosTrack::linesAt(qlonglong ms) const
{
    // A receipt shows leadMs before its time.
    const qint64 shownBy = ms + m_leadMs;
    const auto after = std::upper_bound(m_receipts.begin(), m_receipts.end(), shownBy,
                                        [](qint64 t, const Receipt& r) { return t < r.time; });
    if (after == m_receipts.begin())
        return {};
    const Receipt& last = *(after - 1);
    const int visible = std::max(0, last.queued - trimmedAfter(shownBy - last.time));
    const int end = last.firstLine + last.lineCount;
    return m_lines.mid(end - visible, visible);
}

QVariantList PosTrack::times() const
{
    QVariantList result;
    result.reserve(static_cast<int>(m_receipts.size()));
    for (const Receipt& receipt : m_receipts)
        result << receipt.time;
    return result;
}

qlonglong PosTrack::timeOf(int receipt) const
{
    return receipt >= 0 && receipt < count() ? m_receipts[static_cast<std::size_t>(receipt)].time : -1;
}

QString PosTrack::textOf(int receipt) const
{
    if (receipt < 0 || receipt >= count())
        return {};
    const Receipt& r = m_receipts[static_cast<std::size_t>(receipt)];
    return m_lines.mid(r.firstLine, r.lineCount).join(QLatin1Char('\n'));
}

QVariantList PosTrack::search(const QString& text, int limit) const
{
    QVariantList found;
    const QString needle = text.trimmed();
    if (needle.isEmpty() || limit <= 0)
        return found;
    for (std::size_t i = 0; i < m_receipts.size() && found.size() < limit; ++i) {
        const Receipt& receipt = m_receipts[i];
        for (int line = receipt.firstLine; line < receipt.firstLine + receipt.lineCount; ++line) {
            if (!m_lines.at(line).contains(needle, Qt::CaseInsensitive))
                continue;
            found << QVariantMap{{QStringLiteral("time"), receipt.time},
                                 {QStringLiteral("line"), m_lines.at(line)},
                                 {QStringLiteral("receipt"), static_cast<int>(i)}};
            if (found.size() >= limit)
                break;
        }
    }
    return found;
}
