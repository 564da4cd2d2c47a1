// SPDX-License-Identifier: MIT
// The software frame source's life: whoever lets go of it last, the player behind it ends.
#include <QtTest>

#include <clocale>

#include "mpvcorepool.h"
#include "mpvobject.h"
#include "softwareframesource.h"

class TestSoftwareFrameSource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // libmpv refuses to start under a locale with another decimal separator.
        std::setlocale(LC_NUMERIC, "C");
    }

    void cleanup()
    {
        SoftwareFrameSource::setUpdateDelayForTesting(0);
        SoftwareFrameSource::setConversionDelayForTesting(0);
    }

    // libmpv's update callback holds a share of the source while it runs; when the player's item
    // lets go meanwhile, that share is the last, and ending the source inside the callback would
    // wait forever for the lock libmpv holds around it: the player would never end.
    void lastShareTakenInLibmpvsCallback()
    {
        const int before = MpvObject::coreCount();
        // Each update callback then holds its share long enough to be the last one, while a
        // conversion under way holds another and lets go of it.
        SoftwareFrameSource::setUpdateDelayForTesting(30);
        SoftwareFrameSource::setConversionDelayForTesting(20);
        for (int round = 0; round < 5; ++round) {
            PreparedCore prepared = MpvObject::prepareCore(true);
            QVERIFY(prepared.frames);
            prepared.frames->setTargetSize(QSize(64, 36));
            // Live: nobody takes the frames here, and each new one replaces the last.
            prepared.frames->setKeepEveryFrame(false);
            const char* load[] = {"loadfile", "av://lavfi:testsrc2=size=64x36:rate=100", nullptr};
            QCOMPARE(mpv_command(prepared.core.get(), load), 0);
            QTRY_VERIFY_WITH_TIMEOUT(prepared.frames->convertedFrames() > 2, 10000);
            // Let go while frames keep coming, so that a callback is under way.
            prepared = PreparedCore();
        }
        QTRY_VERIFY2_WITH_TIMEOUT(
            MpvObject::coreCount() == before,
            qPrintable(QStringLiteral("%1 players never ended").arg(MpvObject::coreCount() - before)), 20000);
    }
};

QTEST_GUILESS_MAIN(TestSoftwareFrameSource)
#include "tst_softwareframesource.moc"
