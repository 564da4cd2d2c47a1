// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#ifdef TEST_SOURCE_LIBRARY
#define TEST_SOURCE_EXPORT Q_DECL_EXPORT
#else
#define TEST_SOURCE_EXPORT Q_DECL_IMPORT
#endif

class QRemoteObjectHost;
class RecordingSource;

// Stands in for the client's end of the remote-control interface: it hosts a client_Service
// source, answers the state requests from what it was given, and records every slot called on
// it as one text ("requestLoginStatus", "jumpPage 1", "setLayout <name> <json>", ...).
// The generated source header stays inside testsource.cpp: it and the replica header both define
// the shared record, so they cannot meet in one compilation unit. The class lives in a shared
// library that keeps its copy of the record hidden, apart from the companion's replica side.
class TEST_SOURCE_EXPORT TestSource : public QObject
{
    Q_OBJECT

public:
    using Layouts = QList<QPair<QString, QString>>;

    explicit TestSource(const QUrl& url, QObject* parent = nullptr);
    ~TestSource() override;

    // A loopback URL on a port that was free a moment ago.
    static QUrl freeUrl();

    // Listens on the URL and publishes the source; false when the URL cannot be listened on.
    bool start();
    // Takes the host down, as a client that quits would; the stored state is kept.
    void stop();

    // Store the state and tell every replica, as the client does after sign-in and fetch.
    void setLoggedIn(bool loggedIn);
    void setLayouts(const Layouts& layouts);
    void emitLoggedOut();

    QUrl url() const;
    QStringList calls() const;
    int count(const QString& call) const;

signals:
    void called(const QString& call);

private:
    void record(const QString& call);

    QUrl m_url;
    std::unique_ptr<RecordingSource> m_source;
    std::unique_ptr<QRemoteObjectHost> m_host;
    QStringList m_calls;

    friend class RecordingSource;
};
