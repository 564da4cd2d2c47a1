// SPDX-License-Identifier: MIT
// The recorded page's time bar with 100,000 chunks: loading them as the page gets them, painting
// the bar with the whole day and with five minutes in view, finding the chunk at a moment, and the
// memory the chunks take.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QVariantList>

#include <benchmark/benchmark.h>

#include "chunkspans.h"
#include "heapusage.h"
#include "timelinebar.h"

namespace {

constexpr int chunkCount = 100000;
constexpr qint64 chunkMs = 10000;
// 2024-05-01 00:00 UTC.
constexpr qint64 day = 1714521600000;
constexpr qint64 dayMs = 24 * 3600 * 1000;
constexpr int barWidth = 1600;
constexpr int barHeight = 60;

enum Layout {
    // Ten-second chunks back to back, a minute missing every hour: eleven and a half days, of
    // which the bar's day holds 8,640.
    Recorded = 0,
    // All 100,000 in the one day, overlapping, in 100 bursts with gaps between them: the most a
    // paint of the whole day can meet.
    Crowded = 1,
};

const char* layoutName(int layout)
{
    return layout == Recorded ? "recorded" : "crowded";
}

QVariantList makeEntries(int layout)
{
    QVariantList entries;
    entries.reserve(chunkCount);
    for (int i = 0; i < chunkCount; ++i) {
        qint64 start = 0;
        if (layout == Recorded)
            start = day + qint64(i) * chunkMs + qint64(i / 360) * 60000;
        else
            start = day + qint64(i / 1000) * 864000 + qint64(i % 1000) * 600;
        entries.append(QVariantMap{
            {QStringLiteral("streamId"), qlonglong(11)},
            {QStringLiteral("start"), qlonglong(start)},
            {QStringLiteral("end"), qlonglong(start + chunkMs)},
            {QStringLiteral("size"), qlonglong(5 * 1024 * 1024)},
        });
    }
    return entries;
}

struct Input
{
    QVariantList entries;
    double entryBytes = 0;
};

// Built once per layout: the list is the input, not what is measured.
const Input& inputOf(int layout)
{
    static Input inputs[2];
    Input& input = inputs[layout];
    if (input.entries.isEmpty()) {
        const std::size_t before = heapInUse();
        input.entries = makeEntries(layout);
        input.entryBytes = double(heapInUse() - before) / chunkCount;
    }
    return input;
}

// range(0): the layout.
void BM_SetChunks(benchmark::State& state)
{
    const Input& input = inputOf(int(state.range(0)));
    double chunkBytes = 0;
    {
        const std::size_t before = heapInUse();
        auto* measured = new ChunkSpans;
        measured->setChunks(input.entries);
        chunkBytes = double(heapInUse() - before) / chunkCount;
        if (measured->count() != chunkCount) {
            state.SkipWithError("not every chunk was kept");
            delete measured;
            return;
        }
        delete measured;
    }

    ChunkSpans spans;
    for (auto _ : state) {
        state.PauseTiming();
        spans.clear();
        state.ResumeTiming();
        spans.setChunks(input.entries);
    }
    state.SetLabel(layoutName(int(state.range(0))));
    state.counters["chunks"] = double(spans.count());
    state.counters["spans_B_per_chunk"] = chunkBytes;
    state.counters["spans_MB"] = chunkBytes * chunkCount / 1e6;
    state.counters["input_B_per_chunk"] = input.entryBytes;
}

struct Bar
{
    ChunkSpans spans;
    TimelineBar bar;
};

// The bar with the whole day (zoom 1) or five minutes from noon (zoom 288) in view.
void setUp(Bar& setup, int layout, int zoom)
{
    setup.spans.setChunks(inputOf(layout).entries);
    setup.bar.setSize(QSizeF(barWidth, barHeight));
    setup.bar.setSpans(&setup.spans);
    setup.bar.setDayStart(day);
    setup.bar.setDayEnd(day + dayMs);
    setup.bar.setPosition(day + 12 * 3600000 + 60000);
    std::vector<qint64> receipts;
    for (qint64 ms = day; ms < day + dayMs; ms += 45000)
        receipts.push_back(ms);
    setup.bar.setPosTimes(std::move(receipts));
    if (zoom > 1) {
        setup.bar.setViewStart(day + 12 * 3600000);
        setup.bar.setViewEnd(day + 12 * 3600000 + dayMs / zoom);
    }
}

int spanColumns(const QImage& image, const QColor& color)
{
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        count += image.pixel(x, barHeight / 2) == color.rgb() ? 1 : 0;
    return count;
}

// range(0): the layout; range(1): the zoom.
void BM_Paint(benchmark::State& state)
{
    const int layout = int(state.range(0));
    Bar setup;
    setUp(setup, layout, int(state.range(1)));
    QImage image(barWidth, barHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (auto _ : state)
        setup.bar.paintBar(&painter, image.size());
    painter.end();

    const int filled = spanColumns(image, setup.bar.spanColor());
    if (filled == 0) {
        state.SkipWithError("no span was drawn");
        return;
    }
    const std::pair<int, int> range = setup.spans.overlapping(setup.bar.viewStart(), setup.bar.viewEnd());
    state.SetLabel(layoutName(layout));
    state.counters["chunks_in_view"] = double(range.second - range.first);
    state.counters["span_columns"] = double(filled);
}

// For comparison: a rectangle for every chunk in view, as a plain painter would draw them.
void BM_PaintEachChunk(benchmark::State& state)
{
    const int layout = int(state.range(0));
    Bar setup;
    setUp(setup, layout, int(state.range(1)));
    QImage image(barWidth, barHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const qint64 viewStart = setup.bar.viewStart();
    const double scale = double(barWidth) / double(setup.bar.viewEnd() - viewStart);
    const std::pair<int, int> range = setup.spans.overlapping(viewStart, setup.bar.viewEnd());
    for (auto _ : state) {
        painter.fillRect(image.rect(), setup.bar.gapColor());
        for (int i = range.first; i < range.second; ++i) {
            const ChunkSpans::Chunk& chunk = setup.spans.chunks()[std::size_t(i)];
            painter.fillRect(QRectF(double(chunk.start - viewStart) * scale, 0,
                                    std::max(1.0, double(chunk.end - chunk.start) * scale), barHeight),
                             setup.bar.spanColor());
        }
    }
    state.SetLabel(layoutName(layout));
    state.counters["chunks_in_view"] = double(range.second - range.first);
}

void BM_IndexAt(benchmark::State& state)
{
    const int layout = int(state.range(0));
    ChunkSpans spans;
    spans.setChunks(inputOf(layout).entries);
    const qint64 first = spans.chunks().front().start;
    const qint64 span = spans.chunks().back().end - first;
    QRandomGenerator random(5);
    std::vector<qint64> moments(4096);
    for (qint64& ms : moments)
        ms = first + qint64(random.bounded(double(span)));

    std::size_t next = 0;
    std::size_t found = 0;
    std::size_t asked = 0;
    for (auto _ : state) {
        const int index = spans.indexAt(moments[next]);
        benchmark::DoNotOptimize(index);
        found += index >= 0 ? 1 : 0;
        ++asked;
        next = (next + 1) % moments.size();
    }
    state.SetLabel(layoutName(layout));
    state.counters["found_share"] = asked ? double(found) / double(asked) : 0;
}

} // namespace

BENCHMARK(BM_SetChunks)->Arg(Recorded)->Arg(Crowded)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Paint)
    ->Args({Recorded, 1})
    ->Args({Recorded, 288})
    ->Args({Crowded, 1})
    ->Args({Crowded, 288})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5);
BENCHMARK(BM_PaintEachChunk)->Args({Recorded, 1})->Args({Crowded, 1})->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_IndexAt)->Arg(Recorded)->Arg(Crowded)->Unit(benchmark::kNanosecond)->MinTime(0.5);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // Painting into images needs fonts, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
