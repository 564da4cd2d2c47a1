// SPDX-License-Identifier: MIT
// The events room: the journal's insert rate, a flood through the alarm center, start-up with
// 200,000 journalled events against an empty journal, and the text filter over 200,000 rows.
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "alarmcenter.h"
#include "eventjournal.h"
#include "eventlistmodel.h"
#include "vantorobjectsrepository.h"

namespace {

constexpr int journalled = 200000;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

StationEvent sampleEvent(qint64 localId, qint64 now)
{
    static const char* const classes[] = {"door.opened", "door.closed", "door.accessDenied", "door.forcedOpen",
                                          "camera.motion"};
    static const int priorities[] = {10, 10, 60, 90, 40};
    StationEvent event;
    const int kind = int(localId % 5);
    event.localId = localId;
    event.eventId = localId;
    event.className = QString::fromLatin1(classes[kind]);
    event.priority = priorities[kind];
    event.sourceId = 30 + localId % 40;
    event.sourceName = QStringLiteral("Door %1").arg(event.sourceId);
    event.timestamp = now - (journalled - localId) * 100;
    event.serverTimestamp = event.timestamp;
    event.fieldsText = QStringLiteral("door: Door %1, cardHolder: Holder %2, card: %3")
                           .arg(event.sourceId)
                           .arg(localId % 997)
                           .arg(localId % 10000, 4, 10, QLatin1Char('0'));
    event.fieldsJson = QStringLiteral("{}");
    event.searchText = EventListModel::searchTextOf(event);
    return event;
}

// A database file with `count` events, made once per count.
QString journalFile(int count)
{
    const QString path = folder().filePath(QStringLiteral("journal-%1.sqlite").arg(count));
    if (QFile::exists(path))
        return path;
    EventJournal journal(path, journalled, 90);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 1; i <= count; ++i)
        journal.write(sampleEvent(i, now));
    journal.flush();
    return path;
}

void BM_JournalInsert(benchmark::State& state)
{
    const int batch = int(state.range(0));
    const QString path = folder().filePath(QStringLiteral("insert.sqlite"));
    QFile::remove(path);
    EventJournal journal(path, 10000000, 90);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 next = 1;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            journal.write(sampleEvent(next++, now));
        journal.flush();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
// A batch of 2,000 is what 10,000 events a second give in one 200 ms interval.
BENCHMARK(BM_JournalInsert)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_FloodThroughAlarmCenter(benchmark::State& state)
{
    const QString path = folder().filePath(QStringLiteral("flood.sqlite"));
    QFile::remove(path);
    VantorObjectsRepository repository;
    EventsSettings settings;
    settings.databasePath = path;
    settings.sound = false;
    AlarmCenter center(nullptr, &repository, settings);
    qint64 id = 1;
    for (auto _ : state) {
        // One second of a flood of 10,000 events, as the event loop gets it: decode, model, journal.
        for (int i = 0; i < 10000; ++i) {
            pelmar::vantor::Event event;
            event.eventId = id++;
            event.className = "test.flood";
            event.sourceId = 6;
            event.priority = 30;
            event.timestamp = QDateTime::currentMSecsSinceEpoch();
            event.fields.setValue("n", pelmar::vantor::IntValue(event.eventId));
            center.handleServerEvent(event, false);
        }
        center.model()->publishPending();
        center.journal()->flush();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
    state.counters["persistent"] = center.journalPersistent() ? 1 : 0;
}
BENCHMARK(BM_FloodThroughAlarmCenter)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StartUp(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QString source = journalFile(count);
    const QString path = folder().filePath(QStringLiteral("startup.sqlite"));
    VantorObjectsRepository repository;
    EventsSettings settings;
    settings.databasePath = path;
    settings.sound = false;
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(path);
        QFile::copy(source, path);
        state.ResumeTiming();
        auto center = std::make_unique<AlarmCenter>(nullptr, &repository, settings);
        rows = center->model()->totalCount();
        benchmark::DoNotOptimize(rows);
        // Start-up only: the end of the program is not part of it.
        state.PauseTiming();
        center.reset();
        state.ResumeTiming();
    }
    state.counters["events"] = rows;
}
BENCHMARK(BM_StartUp)->Arg(0)->Arg(journalled)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TextFilter(benchmark::State& state)
{
    EventListModel model(50, journalled);
    model.setAlarmsOnly(false);
    std::vector<StationEvent> entries;
    entries.reserve(journalled);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 1; i <= journalled; ++i)
        entries.push_back(sampleEvent(i, now));
    model.reset(std::move(entries));
    const QStringList filters{QStringLiteral("HOLDER 99"), QStringLiteral("no such text"), QStringLiteral("door 31"),
                              QStringLiteral("0042")};
    int i = 0;
    for (auto _ : state) {
        model.setTextFilter(filters[i++ % filters.size()]);
        benchmark::DoNotOptimize(model.count());
    }
    state.counters["rows"] = journalled;
}
BENCHMARK(BM_TextFilter)->Unit(benchmark::kMillisecond);

// A text filter at once after start-up, before the event loop has made the search texts: it makes
// all 200,000 first. The same work is otherwise spread over turns of the event loop.
void BM_FirstTextFilterAfterLoad(benchmark::State& state)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<EventListModel>(50, journalled);
        model->setAlarmsOnly(false);
        std::vector<StationEvent> entries;
        entries.reserve(journalled);
        for (int i = 1; i <= journalled; ++i) {
            entries.push_back(sampleEvent(i, now));
            entries.back().searchText.clear();
        }
        model->reset(std::move(entries));
        state.ResumeTiming();
        model->setTextFilter(QStringLiteral("holder 99"));
        benchmark::DoNotOptimize(model->count());
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstTextFilterAfterLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(quiet);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
