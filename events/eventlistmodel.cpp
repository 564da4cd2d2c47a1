// SPDX-License-Identifier: MIT
#include "eventlistmodel.h"

#include <algorithm>
#include <limits>

#include <QDateTime>

#include "eventclasses.h"

EventListModel::EventListModel(int alarmPriority, int keepCount, QObject* parent)
    : QAbstractListModel(parent), m_alarmPriority(alarmPriority), m_keepCount(std::max(1, keepCount))
{
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(defaultBatchIntervalMs);
    connect(&m_batchTimer, &QTimer::timeout, this, &EventListModel::publishPending);
    m_searchTextTimer.setInterval(0);
    connect(&m_searchTextTimer, &QTimer::timeout, this, [this] { prepareSearchTexts(searchTextChunk); });
}

void EventListModel::prepareSearchTexts(qint64 count)
{
    // Loaded entries lie before every appended one, from the newest down to the oldest, so that
    // the newest are searchable first.
    qint64 position = m_searchTextsFrom - m_dropped - 1;
    for (; position >= 0 && count > 0; --position, --count) {
        StationEvent& event = m_entries[size_t(position)];
        if (event.searchText.isEmpty())
            event.searchText = searchTextOf(event);
    }
    m_searchTextsFrom = std::max<qint64>(m_dropped, position + 1 + m_dropped);
    if (m_searchTextsFrom <= m_dropped)
        m_searchTextTimer.stop();
}

EventListModel::~EventListModel() = default;

int EventListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant EventListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= int(m_shown.size()))
        return {};
    const qint64 sequence = m_shown[m_shown.size() - 1 - size_t(index.row())];
    const StationEvent& event = m_entries[size_t(sequence - m_dropped)];
    switch (role) {
    case LocalIdRole:
        return event.localId;
    case EventIdRole:
        return event.eventId;
    case ClassNameRole:
        return event.className;
    case Qt::DisplayRole:
    case TitleRole:
        return EventClasses::title(event.className, event.fieldsText);
    case SourceIdRole:
        return QString::number(event.sourceId);
    case SourceNameRole:
        return event.sourceName;
    case TimestampRole:
        return event.timestamp;
    case TimeTextRole:
        return timeText(event.timestamp);
    case PriorityRole:
        return event.priority;
    case PriorityColorRole:
        return priorityColor(event.priority);
    case FieldsTextRole:
        return event.fieldsText;
    case StateRole:
        return stateOf(event);
    case AckByRole:
        return event.ackBy;
    case AckTimeRole:
        return event.ackTime;
    case EndedRole:
        return event.ended();
    case IsAlarmRole:
        return isAlarm(event);
    case HasVideoRole:
        return event.cameraId != 0;
    default:
        return {};
    }
}

QHash<int, QByteArray> EventListModel::roleNames() const
{
    static const QHash<int, QByteArray> names{
        {LocalIdRole, "localId"},       {EventIdRole, "eventId"},
        {ClassNameRole, "className"},   {TitleRole, "title"},
        {SourceIdRole, "sourceId"},     {SourceNameRole, "sourceName"},
        {TimestampRole, "timestamp"},   {TimeTextRole, "timeText"},
        {PriorityRole, "priority"},     {PriorityColorRole, "priorityColor"},
        {FieldsTextRole, "fieldsText"}, {StateRole, "state"},
        {AckByRole, "ackBy"},           {AckTimeRole, "ackTime"},
        {EndedRole, "ended"},           {IsAlarmRole, "isAlarm"},
        {HasVideoRole, "hasVideo"},
    };
    return names;
}

QVariantMap EventListModel::get(int row) const
{
    if (row < 0 || row >= int(m_shown.size()))
        return {};
    const qint64 sequence = m_shown[m_shown.size() - 1 - size_t(row)];
    return toMap(m_entries[size_t(sequence - m_dropped)]);
}

QVariantMap EventListModel::toMap(const StationEvent& event) const
{
    return QVariantMap{
        {QStringLiteral("localId"), event.localId},
        {QStringLiteral("eventId"), event.eventId},
        {QStringLiteral("className"), event.className},
        {QStringLiteral("title"), EventClasses::title(event.className, event.fieldsText)},
        {QStringLiteral("sourceId"), QString::number(event.sourceId)},
        {QStringLiteral("sourceName"), event.sourceName},
        {QStringLiteral("timestamp"), event.timestamp},
        {QStringLiteral("timeText"), timeText(event.timestamp)},
        {QStringLiteral("priority"), event.priority},
        {QStringLiteral("priorityColor"), priorityColor(event.priority)},
        {QStringLiteral("fieldsText"), event.fieldsText},
        {QStringLiteral("state"), stateOf(event)},
        {QStringLiteral("ackBy"), event.ackBy},
        {QStringLiteral("ackTime"), event.ackTime},
        {QStringLiteral("ended"), event.ended()},
        {QStringLiteral("isAlarm"), isAlarm(event)},
        {QStringLiteral("hasVideo"), event.cameraId != 0},
    };
}

QString EventListModel::priorityColor(int priority)
{
    if (priority >= 80)
        return QStringLiteral("#d32f2f");
    if (priority >= 50)
        return QStringLiteral("#f57c00");
    if (priority >= 20)
        return QStringLiteral("#fbc02d");
    return QStringLiteral("#9e9e9e");
}

QString EventListModel::stateOf(const StationEvent& event)
{
    if (event.acknowledged)
        return QStringLiteral("acknowledged");
    if (event.ended())
        return QStringLiteral("ended");
    return QStringLiteral("new");
}

QString EventListModel::timeText(qint64 timestamp)
{
    return QDateTime::fromMSecsSinceEpoch(timestamp).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString EventListModel::searchTextOf(const StationEvent& event)
{
    return searchTextOf(event, EventClasses::title(event.className, event.fieldsText));
}

QString EventListModel::searchTextOf(const StationEvent& event, const QString& title)
{
    QString text;
    text.reserve(title.size() + event.sourceName.size() + event.className.size() + event.fieldsText.size() + 3);
    text += title;
    text += QLatin1Char('\n');
    text += event.sourceName;
    text += QLatin1Char('\n');
    text += event.className;
    text += QLatin1Char('\n');
    text += event.fieldsText;
    return text.toLower();
}

// ---------------------------------------------------------------------------------------------
// Filters

void EventListModel::setAlarmsOnly(bool alarmsOnly)
{
    if (m_alarmsOnly == alarmsOnly)
        return;
    m_alarmsOnly = alarmsOnly;
    refilter();
    emit alarmsOnlyChanged();
}

void EventListModel::setTextFilter(const QString& textFilter)
{
    if (m_textFilter == textFilter)
        return;
    m_textFilter = textFilter;
    m_textFilterLower = textFilter.trimmed().toLower();
    refilter();
    emit textFilterChanged();
}

void EventListModel::setClassFilter(const QString& classFilter)
{
    if (m_classFilter == classFilter)
        return;
    m_classFilter = classFilter;
    refilter();
    emit classFilterChanged();
}

void EventListModel::setMinPriority(int minPriority)
{
    if (m_minPriority == minPriority)
        return;
    m_minPriority = minPriority;
    refilter();
    emit minPriorityChanged();
}

void EventListModel::setStateFilter(const QString& stateFilter)
{
    if (m_stateFilter == stateFilter)
        return;
    m_stateFilter = stateFilter;
    refilter();
    emit stateFilterChanged();
}

bool EventListModel::passes(const StationEvent& event) const
{
    if (m_alarmsOnly && !isAlarm(event))
        return false;
    if (event.priority < m_minPriority)
        return false;
    if (!m_classFilter.isEmpty() && event.className != m_classFilter)
        return false;
    if (!m_stateFilter.isEmpty() && stateOf(event) != m_stateFilter)
        return false;
    return m_textFilterLower.isEmpty() || event.searchText.contains(m_textFilterLower);
}

void EventListModel::refilter()
{
    if (!m_textFilterLower.isEmpty())
        prepareSearchTexts(std::numeric_limits<qint64>::max());
    const int before = count();
    beginResetModel();
    m_shown.clear();
    const qint64 published = m_firstPending - m_dropped;
    for (qint64 position = 0; position < published; ++position) {
        if (passes(m_entries[size_t(position)]))
            m_shown.push_back(position + m_dropped);
    }
    endResetModel();
    if (count() != before)
        emit countChanged();
}

// ---------------------------------------------------------------------------------------------
// Entries

void EventListModel::reset(std::vector<StationEvent> entries)
{
    const int before = count();
    const int totalBefore = totalCount();
    beginResetModel();
    m_entries.clear();
    m_shown.clear();
    m_sequenceByEventId.clear();
    m_openAlarmsBySource.clear();
    m_openAlarms = 0;
    m_dropped = 0;
    const size_t first = entries.size() > size_t(m_keepCount) ? entries.size() - size_t(m_keepCount) : 0;
    m_sequenceByEventId.reserve(int(entries.size() - first));
    for (size_t i = first; i < entries.size(); ++i) {
        if (entries[i].eventId != 0)
            m_sequenceByEventId.insert(entries[i].eventId, qint64(m_entries.size()));
        countIn(entries[i], +1);
        m_entries.push_back(std::move(entries[i]));
    }
    m_firstPending = qint64(m_entries.size());
    m_searchTextsFrom = m_firstPending;
    if (!m_textFilterLower.isEmpty())
        prepareSearchTexts(std::numeric_limits<qint64>::max());
    if (m_searchTextsFrom > 0)
        m_searchTextTimer.start();
    for (qint64 sequence = 0; sequence < m_firstPending; ++sequence) {
        if (passes(m_entries[size_t(sequence)]))
            m_shown.push_back(sequence);
    }
    endResetModel();
    if (count() != before)
        emit countChanged();
    if (totalCount() != totalBefore)
        emit totalCountChanged();
    emit openAlarmsChanged();
}

void EventListModel::append(StationEvent entry)
{
    const qint64 sequence = m_dropped + qint64(m_entries.size());
    if (entry.eventId != 0)
        m_sequenceByEventId.insert(entry.eventId, sequence);
    countIn(entry, +1);
    const bool alarm = isOpenAlarm(entry);
    m_entries.push_back(std::move(entry));
    if (!m_batchTimer.isActive())
        m_batchTimer.start();
    if (alarm)
        emit openAlarmsChanged();
}

void EventListModel::publishPending()
{
    m_batchTimer.stop();
    const qint64 end = m_dropped + qint64(m_entries.size());
    if (m_firstPending >= end)
        return;
    std::vector<qint64> shownNow;
    for (qint64 sequence = m_firstPending; sequence < end; ++sequence) {
        if (passes(m_entries[size_t(sequence - m_dropped)]))
            shownNow.push_back(sequence);
    }
    m_firstPending = end;
    if (!shownNow.empty()) {
        // Newest first: the batch goes on top, its newest entry in row 0.
        beginInsertRows(QModelIndex(), 0, int(shownNow.size()) - 1);
        m_shown.insert(m_shown.end(), shownNow.begin(), shownNow.end());
        endInsertRows();
        emit countChanged();
    }
    trimToKeepCount();
    emit totalCountChanged();
}

void EventListModel::setBatchIntervalMs(int intervalMs)
{
    m_batchTimer.setInterval(std::max(0, intervalMs));
}

void EventListModel::trimToKeepCount()
{
    if (m_entries.size() <= size_t(m_keepCount))
        return;
    const qint64 excess = qint64(m_entries.size()) - m_keepCount;
    const qint64 firstKept = m_dropped + excess;
    // The shown entries among the dropped are the oldest rows: the last ones.
    const auto firstShownKept = std::lower_bound(m_shown.begin(), m_shown.end(), firstKept);
    const int removedRows = int(firstShownKept - m_shown.begin());
    if (removedRows > 0) {
        beginRemoveRows(QModelIndex(), count() - removedRows, count() - 1);
        m_shown.erase(m_shown.begin(), firstShownKept);
        endRemoveRows();
        emit countChanged();
    }
    bool alarmsDropped = false;
    for (qint64 i = 0; i < excess; ++i) {
        const StationEvent& oldest = m_entries.front();
        alarmsDropped = alarmsDropped || isOpenAlarm(oldest);
        countIn(oldest, -1);
        const auto found = m_sequenceByEventId.constFind(oldest.eventId);
        if (found != m_sequenceByEventId.cend() && found.value() == m_dropped)
            m_sequenceByEventId.erase(found);
        m_entries.pop_front();
        ++m_dropped;
    }
    if (alarmsDropped)
        emit openAlarmsChanged();
}

void EventListModel::countIn(const StationEvent& event, int sign)
{
    if (!isOpenAlarm(event))
        return;
    m_openAlarms += sign;
    int& bySource = m_openAlarmsBySource[event.sourceId];
    bySource += sign;
    if (bySource <= 0)
        m_openAlarmsBySource.remove(event.sourceId);
}

qint64 EventListModel::positionOf(qint64 localId) const
{
    // localIds rise with the position.
    const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), localId,
                                        [](const StationEvent& event, qint64 id) { return event.localId < id; });
    if (found == m_entries.end() || found->localId != localId)
        return -1;
    return qint64(found - m_entries.begin());
}

StationEvent* EventListModel::findByLocalId(qint64 localId)
{
    const qint64 position = positionOf(localId);
    return position < 0 ? nullptr : &m_entries[size_t(position)];
}

const StationEvent* EventListModel::findByLocalId(qint64 localId) const
{
    const qint64 position = positionOf(localId);
    return position < 0 ? nullptr : &m_entries[size_t(position)];
}

StationEvent* EventListModel::findByEventId(qint64 eventId)
{
    const auto found = m_sequenceByEventId.constFind(eventId);
    if (found == m_sequenceByEventId.cend())
        return nullptr;
    return &m_entries[size_t(found.value() - m_dropped)];
}

int EventListModel::rowOfSequence(qint64 sequence) const
{
    const auto found = std::lower_bound(m_shown.begin(), m_shown.end(), sequence);
    if (found == m_shown.end() || *found != sequence)
        return -1;
    return int(m_shown.end() - found) - 1;
}

void EventListModel::entryChanged(qint64 sequence)
{
    if (sequence >= m_firstPending)
        return; // shown with its batch, as it is then
    const StationEvent& event = m_entries[size_t(sequence - m_dropped)];
    const int row = rowOfSequence(sequence);
    const bool shouldShow = passes(event);
    if (row >= 0 && shouldShow) {
        const QModelIndex at = index(row);
        emit dataChanged(at, at);
    } else if (row >= 0) {
        beginRemoveRows(QModelIndex(), row, row);
        m_shown.erase(m_shown.end() - 1 - row);
        endRemoveRows();
        emit countChanged();
    } else if (shouldShow) {
        const auto place = std::lower_bound(m_shown.begin(), m_shown.end(), sequence);
        const int newRow = int(m_shown.end() - place);
        beginInsertRows(QModelIndex(), newRow, newRow);
        m_shown.insert(place, sequence);
        endInsertRows();
        emit countChanged();
    }
}

bool EventListModel::acknowledge(qint64 localId, const QString& user, qint64 time)
{
    const qint64 position = positionOf(localId);
    if (position < 0)
        return false;
    StationEvent& event = m_entries[size_t(position)];
    if (event.acknowledged && event.ackTime <= time)
        return false; // the first acknowledgement stands, on every station alike
    const bool wasOpen = isOpenAlarm(event);
    countIn(event, -1);
    event.acknowledged = true;
    event.ackBy = user;
    event.ackTime = time;
    countIn(event, +1);
    entryChanged(position + m_dropped);
    if (wasOpen)
        emit openAlarmsChanged();
    return true;
}

bool EventListModel::markEnded(qint64 localId, qint64 endedAt)
{
    const qint64 position = positionOf(localId);
    if (position < 0)
        return false;
    StationEvent& event = m_entries[size_t(position)];
    if (event.endedAt == endedAt)
        return false;
    event.endedAt = endedAt;
    entryChanged(position + m_dropped);
    if (isOpenAlarm(event))
        emit openAlarmsChanged();
    return true;
}

void EventListModel::renameSource(qint64 sourceId, const QString& sourceName)
{
    for (size_t position = 0; position < m_entries.size(); ++position) {
        StationEvent& event = m_entries[position];
        if (event.sourceId != sourceId || event.sourceName == sourceName)
            continue;
        event.sourceName = sourceName;
        event.searchText = searchTextOf(event);
        entryChanged(qint64(position) + m_dropped);
    }
}

QVector<qint64> EventListModel::shownLocalIds() const
{
    QVector<qint64> ids;
    ids.reserve(int(m_shown.size()));
    for (auto it = m_shown.rbegin(); it != m_shown.rend(); ++it)
        ids.append(m_entries[size_t(*it - m_dropped)].localId);
    return ids;
}
