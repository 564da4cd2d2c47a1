// SPDX-License-Identifier: MIT
#include "layoutmodel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtDebug>
#include <QtQml>

#include "templateexpansion.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"
#include "vantorsetting.h"

namespace {

// Integral JSON numbers that fit an int; anything else reads as 0.
int readInt(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || d < std::numeric_limits<int>::min() ||
        d > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(d);
}

QString settingOf(const VantorObject& object, const QString& key)
{
    return object.settings() ? object.settings()->prop(key) : QString();
}

} // namespace

LayoutModel::LayoutModel(QObject* parent) : QAbstractListModel(parent) {}

LayoutModel::~LayoutModel() = default;

void LayoutModel::setRepository(VantorObjectsRepository* repository)
{
    m_repository = repository;
}

void LayoutModel::setClient(VantorClient* client)
{
    m_client = client;
}

void LayoutModel::setNumCols(int numCols)
{
    if (m_numCols == numCols)
        return;
    m_numCols = numCols;
    emit numColsChanged();
}

void LayoutModel::setNumRows(int numRows)
{
    if (m_numRows == numRows)
        return;
    m_numRows = numRows;
    emit numRowsChanged();
}

int LayoutModel::rowCount(const QModelIndex& parent) const
{
    // A flat list: cells have no children.
    return parent.isValid() ? 0 : m_cells.size();
}

QVariant LayoutModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.column() < 0 || index.row() >= m_cells.size())
        return QVariant();
    const LayoutCell& cell = m_cells.at(index.row());
    switch (role) {
    case RowRole:
        return cell.row;
    case ColRole:
        return cell.col;
    case RowSpanRole:
        return cell.rowSpan;
    case ColSpanRole:
        return cell.colSpan;
    case LabelRole:
        return cell.label;
    case TypeRole:
        return int(cell.type);
    case DeviceIdRole:
        return cell.deviceId;
    case ObjectIdRole:
        return cell.objectId;
    case UrlRole:
        return streamUrl(cell);
    case ActuatorIdRole:
        return cell.actuatorId;
    case SubUrlRole:
        return subStreamUrl(cell);
    case SizeRole:
        return streamSetting(cell, QStringLiteral("size"));
    case SubSizeRole:
        return streamSetting(cell, QStringLiteral("subSize"));
    default:
        return QVariant();
    }
}

bool LayoutModel::setData(const QModelIndex&, const QVariant&, int)
{
    return false;
}

QHash<int, QByteArray> LayoutModel::roleNames() const
{
    static const QHash<int, QByteArray> roles{
        {RowRole, "row"},           {ColRole, "col"},
        {RowSpanRole, "rowSpan"},   {ColSpanRole, "colSpan"},
        {LabelRole, "label"},       {TypeRole, "type"},
        {DeviceIdRole, "deviceId"}, {ObjectIdRole, "objectId"},
        {UrlRole, "url"},           {ActuatorIdRole, "actuatorId"},
        {SubUrlRole, "subUrl"},     {SizeRole, "size"},
        {SubSizeRole, "subSize"},
    };
    return roles;
}

void LayoutModel::fromJson(const QString& json)
{
    if (std::optional<ParsedLayout> layout = parseLayout(json))
        applyLayout(std::move(*layout));
}

std::optional<LayoutModel::ParsedLayout> LayoutModel::parseLayout(const QString& json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // The layout on screen stays; the operator's companion still shows the faulty one.
        qWarning().nospace() << "Layout is not valid JSON: " << parseError.errorString() << " at offset "
                             << parseError.offset;
        return std::nullopt;
    }
    if (document.isNull() || document.isEmpty())
        return std::nullopt;
    const QJsonObject layout = document.object();
    if (layout.isEmpty())
        return std::nullopt;

    ParsedLayout parsed;
    const std::pair<const char*, int*> grid[] = {{"numRows", &parsed.numRows}, {"numCols", &parsed.numCols}};
    for (const auto& [key, field] : grid) {
        if (!layout.contains(QLatin1String(key))) {
            qWarning().noquote() << QStringLiteral("field %1 not found").arg(QLatin1String(key));
            return std::nullopt;
        }
        *field = readInt(layout.value(QLatin1String(key)));
    }
    if (!layout.contains(QLatin1String("elements"))) {
        qWarning() << "field elements not found";
        return std::nullopt;
    }
    const QJsonArray elements = layout.value(QLatin1String("elements")).toArray();
    if (elements.isEmpty()) {
        qWarning() << "field elements is empty";
        return std::nullopt;
    }
    parsed.cells.reserve(elements.size());
    for (const QJsonValue& element : elements) {
        if (std::optional<LayoutCell> cell = parseCell(element.toObject()))
            parsed.cells.append(*cell);
    }
    return parsed;
}

std::optional<LayoutModel::LayoutCell> LayoutModel::parseCell(const QJsonObject& element)
{
    LayoutCell cell;
    // The first missing key of the four names the warning.
    const std::pair<const char*, int*> geometry[] = {
        {"row", &cell.row}, {"col", &cell.col}, {"rowSpan", &cell.rowSpan}, {"colSpan", &cell.colSpan}};
    for (const auto& [key, field] : geometry) {
        if (!element.contains(QLatin1String(key))) {
            qWarning().noquote() << QStringLiteral("field %1 not found").arg(QLatin1String(key));
            return std::nullopt;
        }
        *field = readInt(element.value(QLatin1String(key)));
    }
    cell.deviceId = element.value(QLatin1String("deviceId")).toString();
    cell.objectId = element.value(QLatin1String("objectId")).toString();
    cell.label = element.value(QLatin1String("label")).toString();
    // An element without a type is dropped without a word.
    if (!element.contains(QLatin1String("type")))
        return std::nullopt;
    cell.type = cellType(element.value(QLatin1String("type")).toString());
    return cell;
}

LayoutModel::CellType LayoutModel::cellType(const QString& type)
{
    if (type == QLatin1String("video"))
        return Video;
    if (type == QLatin1String("door"))
        return Door;
    if (type == QLatin1String("alarm"))
        return Alarm;
    return InvalidType;
}

void LayoutModel::applyLayout(ParsedLayout layout)
{
    // Both are announced even when unchanged, and before the cells change.
    m_numRows = layout.numRows;
    emit numRowsChanged();
    m_numCols = layout.numCols;
    emit numColsChanged();

    beginResetModel();
    m_cells.clear();
    resolveDoors(layout.cells);
    m_cells = std::move(layout.cells);
    endResetModel();
}

void LayoutModel::resolveDoors(QVector<LayoutCell>& cells) const
{
    if (!m_repository)
        return;

    // Door actuators in ascending numeric id, so that the pairing does not depend on hash order.
    QVector<VantorObjectPtr> actuators;
    bool collected = false;

    for (LayoutCell& cell : cells) {
        if (cell.type != Door)
            continue;
        const VantorObjectPtr door = m_repository->findById(cell.objectId);
        if (!door)
            continue;
        const QString doorLayout = settingOf(*door, QStringLiteral("layout"));
        if (doorLayout.isEmpty())
            continue;

        if (!collected) {
            for (const VantorObjectPtr& object : m_repository->objects()) {
                if (object && object->type() == VantorObject::Actuator &&
                    object->cls() == QLatin1String("actuator.DOOR"))
                    actuators.append(object);
            }
            std::sort(actuators.begin(), actuators.end(), [](const VantorObjectPtr& a, const VantorObjectPtr& b) {
                const qlonglong ia = a->id().toLongLong();
                const qlonglong ib = b->id().toLongLong();
                return ia != ib ? ia < ib : a->id() < b->id();
            });
            collected = true;
        }

        for (const VantorObjectPtr& actuator : qAsConst(actuators)) {
            const QString actuatorLayout = settingOf(*actuator, QStringLiteral("layout"));
            if (actuatorLayout != doorLayout)
                continue;
            qDebug() << "layout:" << doorLayout << ", actrLayout:" << actuatorLayout;
            cell.actuatorId = actuator->id();
            if (m_client)
                m_client->getActrValue(cell.actuatorId);
            else
                qWarning() << "No server client to ask for the value of actuator" << cell.actuatorId;
            break;
        }
    }
}

QString LayoutModel::streamUrl(const LayoutCell& cell) const
{
    const VantorObjectPtr object = m_repository ? m_repository->findById(cell.objectId) : VantorObjectPtr();
    if (!object) {
        qDebug() << "object not found, id:" << cell.objectId;
        return QString();
    }
    if (!object->settings()) {
        qDebug() << "settings is null, id:" << cell.objectId;
        return QString();
    }
    if (!object->settings()->contains(QStringLiteral("url"))) {
        qDebug() << "settings don't have url, id:" << cell.objectId;
        return QString();
    }
    const std::string stored = object->settings()->prop(QStringLiteral("url")).toStdString();
    const QString url = QString::fromStdString(expandTemplate(stored, {{"EQU", "="}, {"SMC", ";"}}));
    qDebug() << "URL:" << url;
    return url;
}

QString LayoutModel::streamSetting(const LayoutCell& cell, const QString& key) const
{
    if (cell.type != Video)
        return QString();
    const VantorObjectPtr object = m_repository ? m_repository->findById(cell.objectId) : VantorObjectPtr();
    if (!object || !object->settings() || !object->settings()->contains(key))
        return QString();
    return object->settings()->prop(key);
}

QString LayoutModel::subStreamUrl(const LayoutCell& cell) const
{
    const QString stored = streamSetting(cell, QStringLiteral("subUrl"));
    return stored.isEmpty()
               ? QString()
               : QString::fromStdString(expandTemplate(stored.toStdString(), {{"EQU", "="}, {"SMC", ";"}}));
}

QVariantMap LayoutModel::streamOf(const QString& streamId) const
{
    LayoutCell cell;
    cell.type = Video;
    cell.objectId = streamId;
    return {{QStringLiteral("url"), streamUrl(cell)},
            {QStringLiteral("subUrl"), subStreamUrl(cell)},
            {QStringLiteral("size"), streamSetting(cell, QStringLiteral("size"))},
            {QStringLiteral("subSize"), streamSetting(cell, QStringLiteral("subSize"))}};
}

int LayoutModel::cameraOrder(int row) const
{
    if (row < 0 || row >= m_cells.size() || m_cells[row].type != Video)
        return -1;
    int order = 0;
    for (int i = 0; i < row; ++i)
        order += m_cells[i].type == Video;
    return order;
}
