// SPDX-License-Identifier: MIT
#include "subtitlelist.h"

#include <QtQml>

SubtitleList::SubtitleList(QObject* parent) : QAbstractListModel(parent)
{
    m_lines.reserve(50);
}

SubtitleList::~SubtitleList() = default;

int SubtitleList::maxLines() const
{
    return m_maxLines;
}

void SubtitleList::setMaxLines(int value)
{
    if (value == m_maxLines)
        return;
    // Lowering the maximum does not trim; the next appends do.
    m_maxLines = value;
    emit maxLinesChanged();
}

bool SubtitleList::pop()
{
    if (m_lines.isEmpty())
        return false;
    beginRemoveRows(QModelIndex(), 0, 0);
    m_lines.removeFirst();
    endRemoveRows();
    return true;
}

void SubtitleList::appendLine(const QString& line)
{
    if (!m_lines.isEmpty() && m_lines.size() >= m_maxLines)
        pop();
    const int row = m_lines.size();
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    endInsertRows();
    emit timerNeedReset();
}

int SubtitleList::rowCount(const QModelIndex& parent) const
{
    // A flat list: rows have no children.
    if (parent.isValid())
        return 0;
    return m_lines.size();
}

QVariant SubtitleList::data(const QModelIndex& index, int role) const
{
    if (role != LabelRole || !index.isValid() || index.parent().isValid() || index.column() != 0 || index.row() < 0 ||
        index.row() >= m_lines.size())
        return QVariant();
    return m_lines.at(index.row());
}

QHash<int, QByteArray> SubtitleList::roleNames() const
{
    static const QHash<int, QByteArray> roles{{LabelRole, "label"}};
    return roles;
}
