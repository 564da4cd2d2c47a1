// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QFile>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class QAbstractItemModel;
class QQuickWindow;

// When an event list row reaches the screen, for the events benchmark. With
//   STATION_EVENT_STATS_FILE=PATH
// every batch of rows the event list gets is written, at the first frame the window shows after it,
// as one line:
//   shown ms=<wall clock of the frame, ms since the epoch> rows=<n> stamps=<t1,t2,...>
// with each new row's event time (the server's stamp, ms since the epoch). The model is found by
// role name ("timestamp"), so nothing here knows the events room.
class EventStats : public QObject
{
    Q_OBJECT

public:
    explicit EventStats(const QString& filePath, QObject* parent = nullptr);

    // Makes the file anew; false, with a warning, when it cannot be made.
    bool open();
    void watch(QAbstractItemModel* model, QQuickWindow* window);

private:
    void onRowsInserted(int first, int last);
    void onSynchronized();
    void onFrameSwapped();
    void writeShown(qint64 shownMs, const QVector<qint64>& stamps);

    QFile m_file;
    QPointer<QAbstractItemModel> m_model;
    QPointer<QQuickWindow> m_window;
    int m_timestampRole = -1;
    // Rows not yet in a frame (GUI thread; read by the render thread while the GUI thread waits
    // for the scene's synchronisation), and those in the frame being rendered (render thread).
    QVector<qint64> m_pending;
    QMutex m_frameLock;
    QVector<qint64> m_inFrame;
};

// Installed once at start-up, before the QML loads; does nothing unless the environment asks.
// `model` gives the event list once the event loop runs and the controller exists.
void installEventDiagnostics(std::function<QAbstractItemModel*()> model);
