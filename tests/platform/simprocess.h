// SPDX-License-Identifier: MIT
// Test helper: runs vantor-sim on free ports with a site made for the test, and speaks its control
// channel.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

struct GatewayPorts
{
    int http = 0;
    int pos = 0;
};

class SimProcess
{
public:
    SimProcess();
    ~SimProcess();

    // Free TCP ports on 127.0.0.1, all distinct.
    static QList<int> freePorts(int count);
    // Copies the site file with free ports for every gateway (its "httpPort" and its "posPort"
    // setting; the order of everything else is kept) and starts the simulator on free server and
    // control ports. Waits for the ready line.
    bool start(const QString& sitePath, const QStringList& extraArgs = {});
    bool startFile(const QString& sitePath) { return start(sitePath); }

    // One control command; gives the answer line ("ok ..." or "error ..."), or an empty string.
    QString command(const QString& line);

    void kill(); // SIGKILL, as a crash would
    bool waitForExit(int timeoutMs = 10000);

    int serverPort() const { return m_serverPort; }
    int controlPort() const { return m_controlPort; }
    GatewayPorts gateway(qint64 id) const { return m_gateways.value(id); }
    QString sitePath() const { return m_sitePath; }
    QString errorText() const { return QString::fromUtf8(m_stderr); }
    QProcess& process() { return m_process; }

    static QString program();
    static QString mediaDir();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QTcpSocket m_control;
    QByteArray m_stdout;
    QByteArray m_stderr;
    QString m_sitePath;
    int m_serverPort = 0;
    int m_controlPort = 0;
    QMap<qint64, GatewayPorts> m_gateways;
};

// A value set once on a library thread and waited for on the test thread, without fixed sleeps.
template <typename T>
class Box
{
public:
    void set(T value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_value)
            m_value = std::move(value);
        ++m_count;
        m_changed.notify_all();
    }
    bool wait(int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_value.has_value(); });
    }
    T get()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value.value();
    }
    bool isSet()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value.has_value();
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<T> m_value;
    int m_count = 0;
};

// Number of threads of this process.
int threadCount();
