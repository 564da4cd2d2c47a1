// SPDX-License-Identifier: MIT
#include "filetail.h"

QStringList FileTail::poll()
{
    QStringList lines;
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
        return lines;
    m_pending += m_file.readAll();
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        lines << QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
    }
    return lines;
}
