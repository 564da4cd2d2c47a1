// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include <QAbstractListModel>
#include <QPointer>
#include <QVariantMap>
#include <QVector>

class QJsonObject;
class VantorClient;
class VantorObjectsRepository;

// The grid of one layout, parsed from its JSON text: one row per placed item. Door items are
// paired with their actuator while parsing; the stream URL of a camera item is computed from the
// repository each time a view reads it.
class LayoutModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int numCols READ numCols WRITE setNumCols NOTIFY numColsChanged)
    Q_PROPERTY(int numRows READ numRows WRITE setNumRows NOTIFY numRowsChanged)

public:
    enum CellType {
        InvalidType = 0,
        Video = 1,
        Door = 2,
        Alarm = 3,
    };
    Q_ENUM(CellType)

    enum Roles {
        RowRole = Qt::UserRole + 1,
        ColRole,
        RowSpanRole,
        ColSpanRole,
        LabelRole,
        TypeRole,
        DeviceIdRole,
        ObjectIdRole,
        UrlRole,
        ActuatorIdRole,
        // Beside the ten: a camera's sub-stream, expanded as "url" is, and the pictures' sizes as
        // the stream's settings give them ("WIDTHxHEIGHT", or empty).
        SubUrlRole,
        SizeRole,
        SubSizeRole,
    };

    struct LayoutCell
    {
        int row = 0;
        int col = 0;
        int rowSpan = 0;
        int colSpan = 0;
        QString label;
        CellType type = InvalidType;
        QString deviceId;
        QString objectId;
        QString actuatorId;
    };

    explicit LayoutModel(QObject* parent = nullptr);
    ~LayoutModel() override;

    // What the model reads: the server's objects, and the client that fetches actuator values.
    void setRepository(VantorObjectsRepository* repository);
    void setClient(VantorClient* client);

    int numCols() const { return m_numCols; }
    void setNumCols(int numCols);
    int numRows() const { return m_numRows; }
    void setNumRows(int numRows);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QHash<int, QByteArray> roleNames() const override;

    const QVector<LayoutCell>& cells() const { return m_cells; }

    // A layout's grid and cells as its JSON text gives them, doors not yet paired.
    struct ParsedLayout
    {
        int numRows = 0;
        int numCols = 0;
        QVector<LayoutCell> cells;
    };

    // Replaces the grid and the cells with those of the text; a text that is no layout changes nothing.
    Q_INVOKABLE void fromJson(const QString& json);
    // The text read without touching any model: none when it is no layout (the reason is logged).
    static std::optional<ParsedLayout> parseLayout(const QString& json);
    // The cell's place among the camera cells, from 0, in the layout's order; -1 for another cell.
    Q_INVOKABLE int cameraOrder(int row) const;
    // What a camera cell of this stream object would give: "url", "subUrl", "size" and "subSize",
    // for a tile that shows a stream outside the layout's cells (an alarm's camera).
    Q_INVOKABLE QVariantMap streamOf(const QString& streamId) const;

signals:
    void numColsChanged();
    void numRowsChanged();

private:
    // One element of "elements": none when it lacks a key it needs.
    static std::optional<LayoutCell> parseCell(const QJsonObject& element);
    static CellType cellType(const QString& type);
    void applyLayout(ParsedLayout layout);
    void resolveDoors(QVector<LayoutCell>& cells) const;
    QString streamUrl(const LayoutCell& cell) const;
    // A setting of the cell's stream object as text; empty when there is none. No log: most streams
    // have no sub-stream.
    QString streamSetting(const LayoutCell& cell, const QString& key) const;
    QString subStreamUrl(const LayoutCell& cell) const;

    int m_numCols = 1;
    int m_numRows = 1;
    QVector<LayoutCell> m_cells;
    QPointer<VantorObjectsRepository> m_repository;
    QPointer<VantorClient> m_client;
};
