// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What every command of bench_live shares: its output, the clocks, waits that keep the event loop
// running, and a process's own figures.

// A figure line on standard output (key=value pairs), and a complaint on standard error.
void emitLine(const QString& line);
void fail(const QString& message);

// Set by SIGTERM or SIGINT: every wait gives up, and the command ends what it started.
void installStopHandlers();
bool stopRequested();

// The monotonic clock in ms, as QElapsedTimer::msecsSinceReference counts it: the clock of the
// client's "%{time boot}" log lines and of its statistics.
qint64 nowMs();
// CLOCK_MONOTONIC in ns, the clock of bench_screen's samples and of the stream server's log.
qint64 monotonicNs();

// Spins the event loop until `done` holds or `timeoutMs` passes; `pollMs` between checks.
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 5);
void sleepWithEvents(int ms);

// CPU time (user + system, all threads) of a process, in seconds; -1 when it is gone.
double processCpuSeconds(qint64 pid);
// A "VmHWM"-style field of /proc/PID/status, in kB; -1 when missing.
qint64 processStatusKb(qint64 pid, const char* key);

// Runs bench_click (or another program that writes one line of key=value pairs) and returns its
// line; empty, with a complaint, when it failed.
QString runClicker(const QString& program, const QStringList& arguments);

// The value of `key` in a line of key=value pairs; empty when it has none.
QString valueOf(const QString& text, const QString& key);
