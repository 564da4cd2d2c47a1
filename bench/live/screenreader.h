// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QStringList>

// bench_screen, reading the tiles' frame numbers off the screen into a file while it runs.
class ScreenReader
{
public:
    ~ScreenReader() { stop(); }

    // `rects` are X,Y,W,H on the screen, one per tile in index order.
    bool start(const QString& program, const QStringList& rects, const QString& samples, int rateHz);
    void stop();

private:
    QProcess m_process;
};
