// SPDX-License-Identifier: MIT
#include "testsource.h"

#include <QHostAddress>
#include <QRemoteObjectHost>
#include <QTcpServer>

#include "freeports.h"
#include "rep_client_service_source.h"

class RecordingSource : public client_ServiceSource
{
public:
    explicit RecordingSource(TestSource* owner) : m_owner(owner) {}

    void requestLoginStatus() override
    {
        m_owner->record(QStringLiteral("requestLoginStatus"));
        emit loggedIn(m_loggedIn);
    }

    void jumpPage(ClientPage page) override
    {
        m_owner->record(QStringLiteral("jumpPage %1").arg(static_cast<int>(page)));
    }

    void setLayout(QString name, QString json) override
    {
        m_owner->record(QStringLiteral("setLayout %1 %2").arg(name, json));
    }

    void requestLayoutList() override
    {
        m_owner->record(QStringLiteral("requestLayoutList"));
        emit layoutListChanged(m_layouts);
    }

    TestSource* m_owner;
    bool m_loggedIn = false;
    QList<client_Layout> m_layouts;
};

TestSource::TestSource(const QUrl& url, QObject* parent)
    : QObject(parent), m_url(url), m_source(std::make_unique<RecordingSource>(this))
{
}

TestSource::~TestSource()
{
    m_host.reset();
    m_source.reset();
}

QUrl TestSource::freeUrl()
{
    const int port = testsupport::freePort();
    return port ? QUrl(QStringLiteral("tcp://127.0.0.1:%1").arg(port)) : QUrl();
}

bool TestSource::start()
{
    m_host = std::make_unique<QRemoteObjectHost>();
    if (!m_host->setHostUrl(m_url))
        return false;
    return m_host->enableRemoting(m_source.get());
}

void TestSource::stop()
{
    m_host.reset();
}

void TestSource::setLoggedIn(bool loggedIn)
{
    m_source->m_loggedIn = loggedIn;
    emit m_source->loggedIn(loggedIn);
}

void TestSource::setLayouts(const Layouts& layouts)
{
    m_source->m_layouts.clear();
    for (const auto& layout : layouts)
        m_source->m_layouts.append(client_Layout(layout.first, layout.second));
    emit m_source->layoutListChanged(m_source->m_layouts);
}

void TestSource::emitLoggedOut()
{
    emit m_source->loggedOut();
}

QUrl TestSource::url() const
{
    return m_url;
}

QStringList TestSource::calls() const
{
    return m_calls;
}

int TestSource::count(const QString& call) const
{
    return m_calls.count(call);
}

void TestSource::record(const QString& call)
{
    m_calls.append(call);
    emit called(call);
}
