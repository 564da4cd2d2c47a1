// SPDX-License-Identifier: MIT
#include "livedecodesettings.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

bool isOff(const QString& value)
{
    return value == QLatin1String("off") || value == QLatin1String("no") || value == QLatin1String("none") ||
           value == QLatin1String("0");
}

} // namespace

LiveDecodeSettings LiveDecodeSettings::parse(const QProcessEnvironment& environment, QStringList* problems)
{
    LiveDecodeSettings settings;
    auto complain = [problems](const QString& name, const QString& value, const QString& expected) {
        if (problems)
            problems->append(QStringLiteral("%1 \"%2\" is not %3: the default is used").arg(name, value, expected));
    };

    const QString hwdec = environment.value(QStringLiteral("STATION_HWDEC")).trimmed();
    static const QRegularExpression hwdecName(QStringLiteral("^[a-z0-9-]+(,[a-z0-9-]+)*$"));
    if (!hwdec.isEmpty()) {
        const QString value = hwdec.toLower();
        if (hwdecName.match(value).hasMatch())
            settings.hwdec = value == QLatin1String("off") ? QStringLiteral("no") : value;
        else
            complain(QStringLiteral("STATION_HWDEC"), hwdec, QStringLiteral("auto, no or a decoder's name"));
    }

    const QString skip = environment.value(QStringLiteral("STATION_DECODE_SKIP")).trimmed().toLower();
    if (!skip.isEmpty()) {
        if (isOff(skip))
            settings.highestSkip = DecodeLoadPolicy::Full;
        else if (skip == QLatin1String("nonref"))
            settings.highestSkip = DecodeLoadPolicy::SkipNonReference;
        else if (skip == QLatin1String("deblock"))
            settings.highestSkip = DecodeLoadPolicy::NoDeblocking;
        else if (skip == QLatin1String("keyframes") || skip == QLatin1String("on"))
            settings.highestSkip = DecodeLoadPolicy::KeyFramesOnly;
        else
            complain(QStringLiteral("STATION_DECODE_SKIP"), skip, QStringLiteral("off, nonref, deblock or keyframes"));
    }

    // "auto" keeps the default (-1: chosen at run time); otherwise a count of 0 to 64.
    auto readCount = [&](const QString& name, int* field) {
        const QString value = environment.value(name).trimmed().toLower();
        if (value.isEmpty() || value == QLatin1String("auto"))
            return;
        bool ok = false;
        const int count = value.toInt(&ok);
        if (ok && count >= 0 && count <= 64)
            *field = count;
        else
            complain(name, value, QStringLiteral("auto or 0 to 64"));
    };
    readCount(QStringLiteral("STATION_DECODER_THREADS"), &settings.decoderThreads);

    const QString loopFilter = environment.value(QStringLiteral("STATION_SKIP_LOOP_FILTER")).trimmed().toLower();
    if (!loopFilter.isEmpty()) {
        if (isOff(loopFilter))
            settings.smallPictureLoopFilter.clear();
        else if (loopFilter == QLatin1String("all") || loopFilter == QLatin1String("nonref"))
            settings.smallPictureLoopFilter = loopFilter;
        else
            complain(QStringLiteral("STATION_SKIP_LOOP_FILTER"), loopFilter, QStringLiteral("all, nonref or off"));
    }

    readCount(QStringLiteral("STATION_OPENING_LIMIT"), &settings.openingLimit);
    return settings;
}

int LiveDecodeSettings::openingLimitFor(int cores) const
{
    if (openingLimit >= 0)
        return openingLimit;
    return qMax(16, 4 * qMax(1, cores));
}

const LiveDecodeSettings& LiveDecodeSettings::current()
{
    static const LiveDecodeSettings settings = [] {
        QStringList problems;
        LiveDecodeSettings parsed = parse(QProcessEnvironment::systemEnvironment(), &problems);
        for (const QString& problem : problems)
            qWarning().noquote() << problem;
        return parsed;
    }();
    return settings;
}

QString LiveDecodeSettings::playerHwdec() const
{
    if (hwdec != QLatin1String("auto"))
        return hwdec;
    // The player tries the decoders that hand their pictures to OpenGL first, and takes one that
    // copies them back to memory where those cannot be used: with software drawing, and with an
    // OpenGL context the decoder's interop does not work with (VA-API wants EGL and the display).
    // Its own "auto" would also try decoders known to misbehave.
    return QStringLiteral("auto-copy-safe");
}

int LiveDecodeSettings::threadsFor(int liveTiles, int cores) const
{
    if (decoderThreads >= 0)
        return decoderThreads;
    // With a tile per core or more, the tiles already keep every core busy; threads of one
    // decoder only add a frame of delay each, and their own buffers.
    return liveTiles >= qMax(1, cores) ? 1 : 0;
}
