// zedid_micro: in-process timings with Google Benchmark. BM_Export formats
// each generated design shape repeatedly in this process (file MB/s and
// connections/s as rates); the table benchmarks time the lookups and pin
// orders whose plain forms are linear scans, per operation, at growing
// table sizes, so a cost that grows with the table shows at once.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gen_design.h"
#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/parts.h"
#include "reader/pinorder.h"
#include "reader/tables.h"
#include "zedid.h"

namespace {

int ZEDID_CALL IgnoreMessage(const char*) { return 0; }

struct GeneratedFile {
    std::string base;
    zedidgen::Summary summary;
};

// Each shape and size is generated once per process, into the current
// directory (a private temporary directory, see main).
const GeneratedFile& Generated(zedidgen::Shape shape, int size) {
    static std::map<std::pair<int, int>, GeneratedFile> files;
    auto key = std::make_pair(static_cast<int>(shape), size);
    auto found = files.find(key);
    if (found != files.end()) return found->second;
    zedidgen::Parameters params;
    params.shape = shape;
    params.size = size;
    std::string text;
    GeneratedFile file;
    file.summary = zedidgen::GenerateDesign(params, text);
    file.base = std::string(zedidgen::ShapeName(shape)) + std::to_string(size);
    std::ofstream(file.base + ".ONL", std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    return files.emplace(key, file).first->second;
}

void BM_Export(benchmark::State& state) {
    auto shape = static_cast<zedidgen::Shape>(state.range(0));
    const GeneratedFile& file = Generated(shape, static_cast<int>(state.range(1)));
    std::string output = file.base + ".asc";
    for (auto _ : state) {
        int result = ZedidDLL90(file.base.c_str(), output.c_str(), nullptr, nullptr, IgnoreMessage, nullptr);
        if (result > ZEDID_RESULT_WARNINGS) state.SkipWithError("the export failed");
    }
    state.SetLabel(std::string(zedidgen::ShapeName(shape)) + " size " + std::to_string(state.range(1)));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.summary.bytes));
    state.counters["connections/s"] = benchmark::Counter(
        static_cast<double>(file.summary.connections) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void ExportArguments(benchmark::internal::Benchmark* bench) {
    for (int shape = 0; shape < static_cast<int>(zedidgen::Shape::Custom); shape++)
        for (int size = 1; size <= 2; size++) bench->Args({shape, size});
}
BENCHMARK(BM_Export)->Apply(ExportArguments)->Unit(benchmark::kMillisecond);

// N component definitions with names that share a long front; every
// iteration finds each of them once, in a scattered order.
void BM_FindComponentDef(benchmark::State& state) {
    int32_t count = static_cast<int32_t>(state.range(0));
    StartDesignTables();
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; i++) {
        names.push_back("CMP_SERIES_STANDARD_PACKAGE_" + std::to_string(i));
        int32_t index = 0;
        AddComponentDef(names.back().c_str(), &index);
    }
    for (auto _ : state) {
        for (int32_t i = 0; i < count; i++) {
            int32_t index = 0;
            benchmark::DoNotOptimize(FindComponentDef(names[static_cast<std::size_t>((i * 7919) % count)].c_str(), &index));
        }
    }
    ReleaseRun();
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_FindComponentDef)->RangeMultiplier(10)->Range(10, 10000);

// One component of N pins listed in pin order, and one part of it whose N
// connections arrive in pin order too: the common case, in which every
// pin belongs at the end of its list.
void BM_PinOrders(benchmark::State& state) {
    int32_t count = static_cast<int32_t>(state.range(0));
    std::vector<std::string> numbers;
    for (int32_t i = 1; i <= count; i++) numbers.push_back(std::to_string(i));
    for (auto _ : state) {
        StartDesignTables();
        int32_t index = 0;
        ComponentDef* component = AddComponentDef("BIG", &index);
        PartInstance* part = AddPartInstance("U1", index, &index);
        for (const std::string& number : numbers) {
            LibPin* pin = static_cast<LibPin*>(std::calloc(1, sizeof(LibPin)));
            pin->number = number.c_str();
            pin->numbervalue = PinNumberValue(number.c_str());
            pin->pinname = EmptyText;
            pin->lpinname = EmptyText;
            InsertLibPin(component, pin);
        }
        std::vector<NetPin> connections(numbers.size());
        for (std::size_t i = 0; i < numbers.size(); i++) {
            connections[i].libpin = FindLibPin(component, numbers[i].c_str());
            InsertNetPin(part, &connections[i]);
        }
        // The pins and connections belong to this benchmark, not the tables.
        for (LibPin* pin = component->libpins; pin != nullptr;) {
            LibPin* next = pin->next;
            std::free(pin);
            pin = next;
        }
        component->libpins = nullptr;
        part->netpins = nullptr;
        ReleaseRun();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_PinOrders)->RangeMultiplier(10)->Range(10, 10000);

}  // namespace

int main(int argc, char** argv) {
    // The export writes ZEDID.TMP into the current directory, and the
    // generated designs go there too: a private temporary directory.
    char scratch[] = "/tmp/zedid-micro-XXXXXX";
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) {
        std::perror("zedid_micro: temporary directory");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}
