// SPDX-License-Identifier: MIT
// POS document to ASS subtitle text over arbitrary input: the result is empty or a header followed
// by one well-formed dialogue line per event.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstddef>

#include "qmlutils.h"

static void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;
    const QString content = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QByteArray ass = QmlUtils::assFromPosDocument(content);
    if (ass.isEmpty())
        return 0;
    const int events = ass.indexOf("[Events]\n");
    if (!ass.startsWith("[Script Info]\n") || events < 0 || !ass.endsWith('\n'))
        std::abort();
    // Past the events' format line every line is one dialogue; a line break inside a text would
    // cut it in two.
    const QList<QByteArray> lines = ass.mid(events).split('\n');
    for (int i = 2; i < lines.size() - 1; ++i) {
        const QByteArray& line = lines.at(i);
        if (!line.startsWith("Dialogue: 0,") || line.contains('\r') || line.count(',') < 9)
            std::abort();
    }
    return 0;
}
