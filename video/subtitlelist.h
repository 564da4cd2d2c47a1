// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractListModel>
#include <QStringList>

// Text lines for an on-screen overlay, oldest first, at most maxLines of them when appended.
class SubtitleList : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int maxLines READ maxLines WRITE setMaxLines NOTIFY maxLinesChanged)

public:
    enum Roles {
        LabelRole = Qt::UserRole + 1,
    };

    explicit SubtitleList(QObject* parent = nullptr);
    ~SubtitleList() override;

    int maxLines() const;
    void setMaxLines(int value);

    // Removes the oldest line; false on an empty list.
    Q_INVOKABLE bool pop();
    // Drops the oldest line first when the list is full.
    void appendLine(const QString& line);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void maxLinesChanged();
    void timerNeedReset();

private:
    QStringList m_lines;
    int m_maxLines = 15;
};
