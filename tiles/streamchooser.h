// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "streamchoice.h"

// A tile's choice between its camera's main stream and sub-stream, kept up to date as the tile's
// size and full view change (see StreamChoice). `url` is what the tile plays.
class StreamChooser : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString mainUrl READ mainUrl WRITE setMainUrl NOTIFY inputsChanged)
    Q_PROPERTY(QString subUrl READ subUrl WRITE setSubUrl NOTIFY inputsChanged)
    Q_PROPERTY(QString mainSize READ mainSize WRITE setMainSize NOTIFY inputsChanged)
    Q_PROPERTY(QString subSize READ subSize WRITE setSubSize NOTIFY inputsChanged)
    Q_PROPERTY(qreal tileWidth READ tileWidth WRITE setTileWidth NOTIFY inputsChanged)
    Q_PROPERTY(qreal tileHeight READ tileHeight WRITE setTileHeight NOTIFY inputsChanged)
    Q_PROPERTY(bool fullView READ fullView WRITE setFullView NOTIFY inputsChanged)
    Q_PROPERTY(QString url READ url NOTIFY choiceChanged)
    // "main" or "sub"
    Q_PROPERTY(QString stream READ stream NOTIFY choiceChanged)
    Q_PROPERTY(int switches READ switches NOTIFY choiceChanged)
    // The sub-stream plays because the main stream could not keep up (see reportMainTooSlow).
    Q_PROPERTY(bool mainTooSlow READ mainTooSlow NOTIFY choiceChanged)

public:
    explicit StreamChooser(QObject* parent = nullptr);
    ~StreamChooser() override;

    QString mainUrl() const { return m_mainUrl; }
    void setMainUrl(const QString& value);
    QString subUrl() const { return m_subUrl; }
    void setSubUrl(const QString& value);
    QString mainSize() const { return m_mainSize; }
    void setMainSize(const QString& value);
    QString subSize() const { return m_subSize; }
    void setSubSize(const QString& value);
    qreal tileWidth() const { return m_tileWidth; }
    void setTileWidth(qreal value);
    qreal tileHeight() const { return m_tileHeight; }
    void setTileHeight(qreal value);
    bool fullView() const { return m_fullView; }
    void setFullView(bool value);

    QString url() const;
    QString stream() const;
    int switches() const { return m_switches; }
    bool mainTooSlow() const { return m_mainTooSlow; }

    // The main stream cannot keep up on this machine: a camera with a sub-stream plays that
    // instead, for a while (StreamChoice::Fallback). Only one tile of the process tries its main
    // stream again at a time, so that a wall that fell back as a whole comes back tile by tile.
    // Does nothing without a sub-stream, on the sub-stream, or with STATION_SUBSTREAM_FALLBACK off.
    Q_INVOKABLE void reportMainTooSlow();

    // For tests: the hold and the shortest time between switches.
    Q_INVOKABLE void setTimings(qint64 holdMs, qint64 minIntervalMs);
    // For tests: the fallback's first and longest hold and the probation of a return.
    Q_INVOKABLE void setFallbackTimings(qint64 holdMs, qint64 maxHoldMs, qint64 probationMs);

signals:
    void inputsChanged();
    void choiceChanged();

private:
    void reconsider(bool immediate);
    bool hasSubStream() const;
    // The fallback's hold is over: true when this tile may try its main stream now.
    bool mayReturn(qint64 nowMs);

    QString m_mainUrl;
    QString m_subUrl;
    QString m_mainSize;
    QString m_subSize;
    qreal m_tileWidth = 0;
    qreal m_tileHeight = 0;
    bool m_fullView = false;
    StreamChoice::Hysteresis m_hysteresis;
    StreamChoice::Fallback m_fallback;
    bool m_mainTooSlow = false;
    bool m_started = false;
    int m_switches = 0;
    QElapsedTimer m_clock;
    QTimer m_check;
};
