// In-process figures for large sites: the repository rebuild after an object fetch, parsing a
// large layout, and expanding a stored stream URL.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <benchmark/benchmark.h>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define BENCH_HAS_CALLGRIND 1
#endif

#include "benchsite.h"
#include "heapusage.h"
#include "layoutmodel.h"
#include "templateexpansion.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace {

std::atomic<int> s_warnings{0};

// Debug lines would only measure the terminal; warnings are counted, since a clean rebuild has none.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (s_warnings.fetch_add(1) < 5)
        std::fprintf(stderr, "warning: %s\n", qPrintable(message));
}

struct CachedSite
{
    BenchSite site;
    double listBytesPerObject = 0;
};

// Sites are built once per size: the list is the input, not what is measured.
const CachedSite& siteOf(std::size_t total)
{
    static std::map<std::size_t, std::unique_ptr<CachedSite>> sites;
    auto& entry = sites[total];
    if (!entry) {
        entry = std::make_unique<CachedSite>();
        const std::size_t before = heapInUse();
        entry->site = makeBenchSite(total);
        entry->listBytesPerObject = double(heapInUse() - before) / double(total);
    }
    return *entry;
}

// Empty string when the repository holds what the site describes.
std::string checkRepository(const VantorObjectsRepository& repository, const BenchSite& site)
{
    if (std::size_t(repository.objects().size()) != site.objects.size())
        return "repository holds " + std::to_string(repository.objects().size()) + " records, expected " +
               std::to_string(site.objects.size()) + " (was the rebuild queued instead of run at once?)";
    if (!repository.root() || repository.root()->id() != QString::number(site.rootId))
        return "repository root is not the site root";
    const VantorObjectPtr gateway = repository.findById(QString::number(site.gatewayId));
    if (!gateway || std::size_t(gateway->childIds().size()) != site.gatewayStreams)
        return "gateway does not list its streams";
    return {};
}

// Re-fetch after a change of object data: the full repository is cleared and built again.
void BM_Rebuild(benchmark::State& state)
{
    const CachedSite& cached = siteOf(std::size_t(state.range(0)));
    const BenchSite& site = cached.site;
    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);

    s_warnings = 0;
    const std::size_t heapBefore = heapInUse();
    const std::size_t rssBefore = residentBytes();
    client.updateRepository(site.objects, site.rootId);
    const std::size_t heapAfter = heapInUse();
    const std::size_t rssAfter = residentBytes();
    const std::string problem = checkRepository(repository, site);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }

    for (auto _ : state)
        client.updateRepository(site.objects, site.rootId);

    if (s_warnings != 0)
        state.SkipWithError("the rebuild wrote warnings");
    const double n = double(site.objects.size());
    state.counters["objects"] = n;
    state.counters["heap_B_per_object"] = double(heapAfter - heapBefore) / n;
    state.counters["rss_B_per_object"] = double(rssAfter > rssBefore ? rssAfter - rssBefore : 0) / n;
    state.counters["list_B_per_object"] = cached.listBytesPerObject;
}

// First fetch after sign-in: the repository starts empty.
void BM_Load(benchmark::State& state)
{
    const BenchSite& site = siteOf(std::size_t(state.range(0))).site;
    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);
    for (auto _ : state) {
        state.PauseTiming();
        repository.clear();
        state.ResumeTiming();
        client.updateRepository(site.objects, site.rootId);
    }
    const std::string problem = checkRepository(repository, site);
    if (!problem.empty())
        state.SkipWithError(problem.c_str());
    state.counters["objects"] = double(site.objects.size());
}

// Releasing the records of a full repository, as every rebuild does first.
void BM_Clear(benchmark::State& state)
{
    const BenchSite& site = siteOf(std::size_t(state.range(0))).site;
    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);
    for (auto _ : state) {
        state.PauseTiming();
        client.updateRepository(site.objects, site.rootId);
        state.ResumeTiming();
        repository.clear();
    }
    state.counters["objects"] = double(site.objects.size());
}

// A 1,000-element layout on a 40 by 25 grid; every tenth element a door when `doors` is set.
QString largeLayout(const BenchSite& site, bool doors)
{
    QJsonArray elements;
    for (int i = 0; i < 1000; ++i) {
        const bool door = doors && i % 10 == 9 && !site.doorSensors.empty();
        const pelmar::vantor::ObjectId object = door ? site.doorSensors[std::size_t(i / 10) % site.doorSensors.size()]
                                                     : site.streams[std::size_t(i) % site.streams.size()];
        QJsonObject element{
            {"row", i / 40},
            {"col", i % 40},
            {"rowSpan", 1},
            {"colSpan", 1},
            {"type", door ? "door" : "video"},
            {"label", QStringLiteral("Tile %1").arg(i + 1)},
            {"deviceId", QString::number(site.gatewayId)},
            {"objectId", QString::number(object)},
        };
        elements.append(element);
    }
    const QJsonObject layout{{"numRows", 25}, {"numCols", 40}, {"elements", elements}};
    return QString::fromUtf8(QJsonDocument(layout).toJson(QJsonDocument::Compact));
}

// range(0): 1 places doors, which are paired with their actuators while parsing.
void BM_FromJson(benchmark::State& state)
{
    const BenchSite& site = siteOf(10000).site;
    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);
    client.updateRepository(site.objects, site.rootId);
    LayoutModel model;
    model.setRepository(&repository);
    model.setClient(&client);
    const bool doors = state.range(0) != 0;
    const QString json = largeLayout(site, doors);

    for (auto _ : state)
        model.fromJson(json);

    if (model.rowCount() != 1000) {
        state.SkipWithError("the layout did not parse into 1,000 cells");
        return;
    }
    if (doors && model.data(model.index(9), LayoutModel::ActuatorIdRole).toString().isEmpty()) {
        state.SkipWithError("a door found no actuator");
        return;
    }
    state.counters["elements"] = 1000;
    state.counters["json_bytes"] = double(json.toUtf8().size());
}

// What the layout page does after a reset: read the url role of every cell.
void BM_LayoutUrls(benchmark::State& state)
{
    const BenchSite& site = siteOf(10000).site;
    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);
    client.updateRepository(site.objects, site.rootId);
    LayoutModel model;
    model.setRepository(&repository);
    model.fromJson(largeLayout(site, false));

    int empty = 0;
    for (auto _ : state) {
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString url = model.data(model.index(row), LayoutModel::UrlRole).toString();
            empty += url.isEmpty() ? 1 : 0;
            benchmark::DoNotOptimize(url.constData());
        }
    }
    if (empty != 0)
        state.SkipWithError("a cell gave no url");
    state.counters["cells"] = 1000;
}

void BM_ExpandTemplate(benchmark::State& state)
{
    const std::string text = typicalUrlTemplate();
    const TemplateVariables variables{{"EQU", "="}, {"SMC", ";"}};
    std::string expanded;
    for (auto _ : state) {
        expanded = expandTemplate(text, variables);
        benchmark::DoNotOptimize(expanded.data());
    }
    if (expanded != "rtsp://10.20.3.41:554/live/4711?profile=main;transport=tcp;latency=low")
        state.SkipWithError(("unexpected expansion: " + expanded).c_str());
    state.counters["template_bytes"] = double(text.size());
}

} // namespace

BENCHMARK(BM_Rebuild)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Load)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Clear)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_FromJson)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(0.3);
BENCHMARK(BM_LayoutUrls)->Unit(benchmark::kMicrosecond)->MinTime(0.3);
BENCHMARK(BM_ExpandTemplate)->Unit(benchmark::kNanosecond)->MinTime(0.3);

namespace {

// For valgrind --tool=callgrind --instr-atstart=no: one first load, then one rebuild, each dumped
// as its own part, so that instruction counts show the algorithm apart from the memory hierarchy.
int countInstructions(std::size_t total)
{
#ifdef BENCH_HAS_CALLGRIND
    const BenchSite& site = siteOf(total).site;
    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    client.updateRepository(site.objects, site.rootId);
    CALLGRIND_DUMP_STATS_AT("load");
    client.updateRepository(site.objects, site.rootId);
    CALLGRIND_DUMP_STATS_AT("rebuild");
    CALLGRIND_STOP_INSTRUMENTATION;
    const std::string problem = checkRepository(repository, site);
    if (!problem.empty()) {
        std::fprintf(stderr, "bench_repository: %s\n", problem.c_str());
        return 1;
    }
    std::printf("count objects=%zu\n", site.objects.size());
    return 0;
#else
    (void)total;
    std::fprintf(stderr, "bench_repository: built without valgrind/callgrind.h; --count is not available\n");
    return 1;
#endif
}

// The console table, and with --raw=FILE one line per repetition for scripts/bench.sh:
//   bm name=BM_Rebuild arg=1000 rep=0 real_ns=.. cpu_ns=.. error=0 <counter>=<value> ...
class RawReporter : public benchmark::ConsoleReporter
{
public:
    explicit RawReporter(std::FILE* raw) : m_raw(raw) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        benchmark::ConsoleReporter::ReportRuns(runs);
        if (!m_raw)
            return;
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const double toNs = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            std::string arg = run.run_name.args.empty() ? "-" : run.run_name.args;
            std::fprintf(m_raw, "bm name=%s arg=%s rep=%lld real_ns=%.1f cpu_ns=%.1f error=%d",
                         run.run_name.function_name.c_str(), arg.c_str(), static_cast<long long>(run.repetition_index),
                         run.GetAdjustedRealTime() * toNs, run.GetAdjustedCPUTime() * toNs, run.error_occurred ? 1 : 0);
            for (const auto& counter : run.counters)
                std::fprintf(m_raw, " %s=%.3f", counter.first.c_str(), counter.second.value);
            std::fprintf(m_raw, "\n");
        }
        std::fflush(m_raw);
    }

private:
    std::FILE* m_raw;
};

} // namespace

int main(int argc, char** argv)
{
    // Our own flag first: the library refuses flags it does not know.
    std::string rawPath;
    long count = 0;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--raw=", 0) == 0)
            rawPath = arg.substr(6);
        else if (arg.rfind("--count=", 0) == 0)
            count = std::strtol(arg.c_str() + 8, nullptr, 10);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (count < 0 || count > 10000000) {
        std::fprintf(stderr, "bench_repository: --count takes a number of objects up to 10,000,000\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    std::FILE* raw = nullptr;
    if (!rawPath.empty() && !(raw = std::fopen(rawPath.c_str(), "w"))) {
        std::fprintf(stderr, "bench_repository: cannot write %s\n", rawPath.c_str());
        return 1;
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(quietHandler);
    if (count > 0) {
        if (raw)
            std::fclose(raw);
        return countInstructions(std::size_t(count));
    }
    RawReporter reporter(raw);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (raw)
        std::fclose(raw);
    return 0;
}
