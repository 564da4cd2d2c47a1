// SPDX-License-Identifier: MIT
#include "settingsfile.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtDebug>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString loginSettingsFilePath()
{
    return QSettings().fileName();
}

#ifdef Q_OS_UNIX

namespace {

QString modeText(mode_t mode)
{
    return QStringLiteral("0%1").arg(mode & 07777, 3, 8, QLatin1Char('0'));
}

// A missing settings folder is made private; one that exists is left as the user has it.
bool makeFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    if (!QDir().mkpath(parent)) {
        qWarning().noquote() << "Cannot create the settings folder" << parent;
        return false;
    }
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        qWarning().noquote() << "Cannot create the settings folder" << folder << ":" << std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

bool protectSettingsFile(const QString& path)
{
    if (!makeFolder(QFileInfo(path).absolutePath()))
        return false;

    // O_CREAT leaves an existing file as it is; a new one starts owner-only whatever the umask.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning().noquote() << "Cannot open the settings file" << path << ":" << std::strerror(errno);
        return false;
    }
    bool ok = true;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        qWarning().noquote() << "Cannot read the mode of the settings file" << path << ":" << std::strerror(errno);
        ok = false;
    } else if ((st.st_mode & 077) != 0) {
        const mode_t narrowed = st.st_mode & 07700;
        if (::fchmod(fd, narrowed) != 0) {
            qWarning().noquote() << "The settings file" << path << "holds the password and others may read it (mode"
                                 << modeText(st.st_mode) + "), but its mode cannot be changed:" << std::strerror(errno);
            ok = false;
        } else {
            qWarning().noquote() << "The settings file" << path << "holds the password and others could read it (mode"
                                 << modeText(st.st_mode) + "); made it owner-only (mode" << modeText(narrowed) + ")";
        }
    }
    ::close(fd);
    return ok;
}

#else

bool protectSettingsFile(const QString&)
{
    // The user's profile folder is private to the user already.
    return true;
}

#endif
