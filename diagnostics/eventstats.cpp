// SPDX-License-Identifier: MIT
#include "eventstats.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTimer>

#include "diagnosticslog.h"

EventStats::EventStats(const QString& filePath, QObject* parent) : QObject(parent), m_file(filePath) {}

bool EventStats::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        qCWarning(lcDiagnostics) << "Cannot write the event statistics to" << m_file.fileName() << ":"
                                 << m_file.errorString();
        return false;
    }
    return true;
}

void EventStats::watch(QAbstractItemModel* model, QQuickWindow* window)
{
    m_model = model;
    m_window = window;
    const QHash<int, QByteArray> roles = model->roleNames();
    m_timestampRole = roles.key(QByteArrayLiteral("timestamp"), -1);
    if (m_timestampRole < 0) {
        qCWarning(lcDiagnostics) << "The event list has no role \"timestamp\": no event statistics";
        return;
    }
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
        if (!parent.isValid())
            onRowsInserted(first, last);
    });
    // Direct: on the render thread, at the synchronisation and when the frame is on the screen,
    // not when the GUI thread next runs.
    connect(window, &QQuickWindow::afterSynchronizing, this, &EventStats::onSynchronized, Qt::DirectConnection);
    connect(window, &QQuickWindow::frameSwapped, this, &EventStats::onFrameSwapped, Qt::DirectConnection);
}

void EventStats::onRowsInserted(int first, int last)
{
    for (int row = first; row <= last; ++row)
        m_pending.append(m_model->index(row, 0).data(m_timestampRole).toLongLong());
}

void EventStats::onSynchronized()
{
    // The GUI thread is blocked while the scene synchronises: the rows it has by now are in this
    // frame, later ones in the next.
    QMutexLocker lock(&m_frameLock);
    m_inFrame += m_pending;
    m_pending.clear();
}

void EventStats::onFrameSwapped()
{
    const qint64 shownMs = QDateTime::currentMSecsSinceEpoch();
    QVector<qint64> shown;
    {
        QMutexLocker lock(&m_frameLock);
        shown.swap(m_inFrame);
    }
    if (shown.isEmpty())
        return;
    QMetaObject::invokeMethod(
        this, [this, shownMs, shown] { writeShown(shownMs, shown); }, Qt::QueuedConnection);
}

void EventStats::writeShown(qint64 shownMs, const QVector<qint64>& stamps)
{
    QByteArray line =
        "shown ms=" + QByteArray::number(shownMs) + " rows=" + QByteArray::number(stamps.size()) + " stamps=";
    for (int i = 0; i < stamps.size(); ++i) {
        if (i)
            line += ',';
        line += QByteArray::number(stamps.at(i));
    }
    line += '\n';
    m_file.write(line);
    m_file.flush();
}

void installEventDiagnostics(std::function<QAbstractItemModel*()> model)
{
    const QString path = qEnvironmentVariable("STATION_EVENT_STATS_FILE");
    if (path.isEmpty())
        return;
    // Once the event loop runs, the window and the controller exist.
    QTimer::singleShot(0, qApp, [model = std::move(model), path] {
        QAbstractItemModel* list = model ? model() : nullptr;
        QQuickWindow* window = nullptr;
        for (QWindow* candidate : QGuiApplication::topLevelWindows()) {
            if ((window = qobject_cast<QQuickWindow*>(candidate)))
                break;
        }
        if (!list || !window) {
            qCWarning(lcDiagnostics) << "No event list or no window: no event statistics";
            return;
        }
        auto* stats = new EventStats(path, qApp);
        if (stats->open())
            stats->watch(list, window);
    });
}
