// SPDX-License-Identifier: MIT
#include "localsocket.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>
#endif

namespace StationIpc {

QString localSocketPath(const QUrl& url)
{
    if (url.scheme() != QLatin1String("local"))
        return QString();
    const QString name = url.path();
    if (name.isEmpty() || QDir::isAbsolutePath(name))
        return name;
    return QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/') + name;
}

#ifdef Q_OS_UNIX

SocketState inspectLocalSocket(const QString& path, QString* detail)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        if (detail)
            *detail = QString::fromLocal8Bit(std::strerror(error));
        return error == ENOENT ? SocketState::Missing : SocketState::Unknown;
    }
    if (detail)
        *detail =
            QStringLiteral("owner uid %1, mode 0%2").arg(st.st_uid).arg(st.st_mode & 07777, 3, 8, QLatin1Char('0'));
    if (st.st_uid != ::geteuid() || !S_ISSOCK(st.st_mode)) {
        if (detail && !S_ISSOCK(st.st_mode))
            *detail += QStringLiteral(", not a socket");
        return SocketState::Foreign;
    }
    return (st.st_mode & 022) != 0 ? SocketState::Open : SocketState::Own;
}

bool makeLocalSocketPrivate(const QString& path, QString* error)
{
    struct stat st
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &st) != 0 || ::chmod(name.constData(), st.st_mode & 0700) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

#else

// Elsewhere a local socket is a named pipe, which the system already keeps to its user.
SocketState inspectLocalSocket(const QString&, QString*)
{
    return SocketState::Own;
}

bool makeLocalSocketPrivate(const QString&, QString*)
{
    return true;
}

#endif

} // namespace StationIpc
