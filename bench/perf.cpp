// zedid_perf: the whole-process benchmark. For every design shape at three
// sizes (each 10x the last) it generates the intermediate file, then runs
// the export in a process of its own (zedid_run) and `wc -w` on the same
// file, several times each, and reports medians: end-to-end time, file MB/s,
// connections/s, the ratio to `wc -w`, peak memory and the growth of the
// time from one size to the next. Finally it checks the performance targets.
// Rates, ratios and growth are taken from processor time (user + system) so
// that other work on a shared machine does not count; wall time is shown
// beside it. Peak memory is judged against the file plus what the runner's
// process peaks at on a design of one connection.
//
//   zedid_perf [--runs N] [--shapes a,b] [--sizes 1,2,3] [--work DIR]
//              [--runner PATH] [--against PATH] [--plain] [--smoke] [--strict]
//
// --smoke runs the smallest size of every shape once and checks only that
// every run succeeds; no figure is judged. --plain measures the test
// model's plain algorithms (zedid_model_run) instead of the library.
// --against runs another build's runner on the same files, alternately
// with the runner, and compares the two. --strict fails when a target is
// missed.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gen_design.h"

extern char** environ;

namespace {

// The targets the benchmark judges.
constexpr double GrowthLimit = 12.0;        // time ratio allowed for a 10x design
constexpr double BoardMinimumMB = 10.0;     // board and dense: the largest file at least this big
constexpr double BoardMinimumMBps = 100.0;  // board and dense: end to end, file MB per second
constexpr double WordCountRatio = 5.0;      // every shape: at most this many times `wc -w`
constexpr double MemoryRatio = 4.0;         // every shape: peak memory over file size, beyond the empty run's
constexpr double AgainstLimit = 1.10;       // board and dense: processor time over the other build's

constexpr double Mega = 1e6;

struct Options {
    int runs = 5;
    std::vector<zedidgen::Shape> shapes = {zedidgen::Shape::Board,  zedidgen::Shape::Components,
                                           zedidgen::Shape::BigPart, zedidgen::Shape::BigNet,
                                           zedidgen::Shape::TwoPinNets, zedidgen::Shape::LongNames,
                                           zedidgen::Shape::Dense,  zedidgen::Shape::Properties,
                                           zedidgen::Shape::Placements, zedidgen::Shape::Skipped,
                                           zedidgen::Shape::ManyPins};
    std::vector<int> sizes = {1, 2, 3};
    std::string work = ZEDID_PERF_WORK;
    std::string runner = ZEDID_RUN_PATH;
    std::string against;  // another build's runner; empty: none
    bool smoke = false;
    bool strict = false;
    bool plain = false;
};

struct Spawned {
    bool started = false;
    int status = -1;         // exit status, or -1 when killed
    double seconds = 0;      // wall time from start to reaped
    double processor = 0;    // user and system seconds of the child
    std::string output;      // standard output, when captured
};

// Runs ARGS as a child process with standard output captured (or sent to
// /dev/null) and standard error inherited; gives its times and status.
Spawned Spawn(const std::vector<std::string>& args, bool capture) {
    Spawned result;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int pipefd[2] = {-1, -1};
    if (capture && pipe(pipefd) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipefd[0]);
        posix_spawn_file_actions_addclose(&actions, pipefd[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    auto start = std::chrono::steady_clock::now();
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (capture) close(pipefd[1]);
    if (spawned != 0) {
        if (capture) close(pipefd[0]);
        return result;
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (capture) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipefd[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<std::size_t>(n));
        close(pipefd[0]);
    }
    result.started = true;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.seconds = elapsed.count();
    result.processor = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return result;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The figures of one runner on one file, over the runs.
struct Side {
    double wall = 0;     // median wall seconds of the whole zedid_run process
    double process = 0;  // median processor seconds of the whole zedid_run process
    double call = 0;     // median processor seconds of the export call alone
    double peakmb = 0;   // highest peak RSS over the runs, MB
    std::vector<double> walls, processes, calls;
};

struct Row {
    zedidgen::Shape shape;
    int size = 0;
    zedidgen::Summary design;
    bool ok = true;
    std::string problem;
    Side run;      // the runner
    Side against;  // the other build's runner, with --against
    double wc = 0;  // median processor seconds of `wc -w`
    long messages = 0;
    int result = -1;
};

bool WriteFile(const std::string& name, const std::string& text) {
    std::ofstream file(name, std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file);
}

// Runs RUNNER once on BASE.ONL and adds its figures to SIDE; false, with
// ROW's problem set, when the export failed.
bool RunOnce(const std::string& runner, const std::string& base, Side& side, Row& row) {
    Spawned export_ = Spawn({runner, base, base + ".asc"}, true);
    double seconds = 0;
    double processor = 0;
    long numbered = 0;
    long peakkb = 0;
    std::istringstream line(export_.output);
    if (!export_.started || !(line >> seconds >> processor >> row.result >> row.messages >> numbered >> peakkb)) {
        row.ok = false;
        row.problem = "the export process failed (" + runner + ")";
        return false;
    }
    if (row.result > 1 || numbered > 0) {
        row.ok = false;
        row.problem = "the export gave result " + std::to_string(row.result) + " (" + runner + ")";
        return false;
    }
    side.walls.push_back(export_.seconds);
    side.processes.push_back(export_.processor);
    side.calls.push_back(processor);
    side.peakmb = std::max(side.peakmb, static_cast<double>(peakkb) * 1024 / Mega);
    return true;
}

void TakeMedians(Side& side) {
    side.wall = Median(side.walls);
    side.process = Median(side.processes);
    side.call = Median(side.calls);
}

Row Measure(const Options& options, zedidgen::Shape shape, int size) {
    Row row;
    row.shape = shape;
    row.size = size;
    std::string base = std::string(zedidgen::ShapeName(shape)) + std::to_string(size);
    {
        zedidgen::Parameters params;
        params.shape = shape;
        params.size = size;
        std::string text;
        row.design = zedidgen::GenerateDesign(params, text);
        if (!WriteFile(base + ".ONL", text)) {
            row.ok = false;
            row.problem = "cannot write " + base + ".ONL";
            return row;
        }
    }
    std::vector<double> wc;
    for (int run = 0; run < options.runs; run++) {
        Spawned count = Spawn({"wc", "-w", base + ".ONL"}, false);
        if (!count.started || count.status != 0) {
            row.ok = false;
            row.problem = "wc -w failed";
            return row;
        }
        wc.push_back(count.processor);
        // The two builds take turns at going first, so that neither always
        // finds the file in the cache the other warmed.
        bool againstfirst = !options.against.empty() && run % 2 == 1;
        if (againstfirst && !RunOnce(options.against, base, row.against, row)) return row;
        if (!RunOnce(options.runner, base, row.run, row)) return row;
        if (!options.against.empty() && !againstfirst && !RunOnce(options.against, base, row.against, row))
            return row;
    }
    TakeMedians(row.run);
    TakeMedians(row.against);
    row.wc = Median(wc);
    return row;
}

// The peak memory of RUNNER's process on a design of one connection: what
// the process costs before any design.
double EmptyPeak(const Options& options, const std::string& runner) {
    const char* const text =
        "(pcb (placement (component C (place U1)))\n (library (image C (pin 1 1)))\n"
        " (network (net N (pins U1-1))))\n";
    Row row;
    Side side;
    if (!WriteFile("empty.ONL", text)) return 0;
    for (int run = 0; run < options.runs; run++)
        if (!RunOnce(runner, "empty", side, row)) return 0;
    return side.peakmb;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Figures with about three significant digits.
std::string Figure(double value) {
    if (value >= 100) return Fixed(value, 0);
    if (value >= 10) return Fixed(value, 1);
    if (value >= 1) return Fixed(value, 2);
    return Fixed(value, 3);
}

const Row* Previous(const std::vector<Row>& rows, const Row& row) {
    const Row* found = nullptr;
    for (const Row& other : rows)
        if (other.shape == row.shape && other.size < row.size && other.ok) found = &other;
    return found;
}

// The memory a run may peak at: MemoryRatio times the file beyond what the
// process peaks at on an empty design.
double PeakLimit(const Row& row, double emptypeak) {
    return MemoryRatio * static_cast<double>(row.design.bytes) / Mega + emptypeak;
}

void PrintTable(const std::vector<Row>& rows, double emptypeak) {
    std::printf("| shape | size | file MB | parts | connections | wall ms | processor ms | MB/s | "
                "connections/s | wc -w ms | x wc -w | peak MB | peak limit MB | growth |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        double mb = static_cast<double>(row.design.bytes) / Mega;
        if (!row.ok) {
            std::printf("| %s | %d | %s | %ld | %ld | FAILED: %s |||||||||\n", zedidgen::ShapeName(row.shape), row.size,
                        Figure(mb).c_str(), row.design.parts, row.design.connections, row.problem.c_str());
            continue;
        }
        const Side& run = row.run;
        const Row* previous = Previous(rows, row);
        std::string growth =
            previous != nullptr && previous->run.call > 0 ? Figure(run.call / previous->run.call) + "x" : "-";
        std::printf("| %s | %d | %s | %ld | %ld | %s | %s | %s | %sM | %s | %s | %s | %s | %s |\n",
                    zedidgen::ShapeName(row.shape), row.size, Figure(mb).c_str(), row.design.parts,
                    row.design.connections, Figure(run.wall * 1000).c_str(), Figure(run.process * 1000).c_str(),
                    Figure(mb / run.process).c_str(),
                    Figure(static_cast<double>(row.design.connections) / run.process / Mega).c_str(),
                    Figure(row.wc * 1000).c_str(), Figure(run.process / row.wc).c_str(), Figure(run.peakmb).c_str(),
                    Figure(PeakLimit(row, emptypeak)).c_str(), growth.c_str());
    }
}

// The runner beside the other build's, run for run on the same files.
void PrintComparison(const std::vector<Row>& rows, double emptypeak, double againstemptypeak) {
    std::printf("\nAgainst the other build (--against), run alternately on the same files:\n\n"
                "| shape | size | file MB | other: processor ms | processor ms | ratio | other: peak MB | peak MB "
                "| peak limit MB | other: peak limit MB |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        if (!row.ok) continue;
        std::printf("| %s | %d | %s | %s | %s | %s | %s | %s | %s | %s |\n", zedidgen::ShapeName(row.shape), row.size,
                    Figure(static_cast<double>(row.design.bytes) / Mega).c_str(),
                    Figure(row.against.process * 1000).c_str(), Figure(row.run.process * 1000).c_str(),
                    Figure(row.run.process / row.against.process).c_str(), Figure(row.against.peakmb).c_str(),
                    Figure(row.run.peakmb).c_str(), Figure(PeakLimit(row, emptypeak)).c_str(),
                    Figure(PeakLimit(row, againstemptypeak)).c_str());
    }
}

// Prints each target with the figure reached; gives the number missed.
int JudgeTargets(const std::vector<Row>& rows, double emptypeak, bool against) {
    int missed = 0;
    auto verdict = [&](bool reached, const std::string& what) {
        std::printf("- %s: %s\n", reached ? "reached" : "MISSED", what.c_str());
        if (!reached) missed++;
    };
    std::printf("\nTargets:\n");
    for (const Row& row : rows) {
        const Row* previous = Previous(rows, row);
        if (previous == nullptr || !row.ok) continue;
        double growth = row.run.call / previous->run.call;
        verdict(growth <= GrowthLimit, std::string(zedidgen::ShapeName(row.shape)) + " size " +
                                           std::to_string(previous->size) + " to " + std::to_string(row.size) +
                                           ": 10x the design costs " + Figure(growth) + "x the time (limit " +
                                           Figure(GrowthLimit) + "x)");
    }
    // Ratios to the scan, to the file and to the other build are judged at
    // each shape's largest size, where the fixed cost of a process no
    // longer counts.
    for (const Row& row : rows) {
        if (!row.ok) continue;
        bool largest = true;
        for (const Row& other : rows)
            if (other.shape == row.shape && other.ok && other.size > row.size) largest = false;
        if (!largest) continue;
        double mb = static_cast<double>(row.design.bytes) / Mega;
        const Side& run = row.run;
        std::string at = std::string(zedidgen::ShapeName(row.shape)) + " size " + std::to_string(row.size) + " (" +
                         Figure(mb) + " MB)";
        verdict(run.process / row.wc <= WordCountRatio, at + " takes " + Figure(run.process / row.wc) +
                                                            "x the time of wc -w (limit " + Figure(WordCountRatio) +
                                                            "x)");
        verdict(run.peakmb <= PeakLimit(row, emptypeak),
                at + " peaks at " + Figure(run.peakmb) + " MB (limit " + Figure(MemoryRatio) + "x the file + " +
                    Figure(emptypeak) + " MB of the empty run = " + Figure(PeakLimit(row, emptypeak)) + " MB)");
        bool board = row.shape == zedidgen::Shape::Board || row.shape == zedidgen::Shape::Dense;
        if (against) {
            double ratio = run.process / row.against.process;
            double limit = board ? AgainstLimit : 1.0;
            verdict(ratio <= limit, at + " takes " + Figure(ratio) + "x the other build's processor time (limit " +
                                        Figure(limit) + "x)");
        }
        if (!board) continue;
        verdict(mb >= BoardMinimumMB, at + " is at least " + Figure(BoardMinimumMB) + " MB");
        verdict(mb / run.process >= BoardMinimumMBps,
                at + " end to end at " + Figure(mb / run.process) + " MB/s (target " + Figure(BoardMinimumMBps) + ")");
    }
    return missed;
}

template <typename T, typename Parse>
bool ParseList(const char* text, std::vector<T>& items, Parse parse) {
    items.clear();
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        T value;
        if (!parse(item, &value)) return false;
        items.push_back(value);
    }
    return !items.empty();
}

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "zedid_perf: %s\n"
                 "usage: zedid_perf [--runs N] [--shapes a,b] [--sizes 1,2,3] [--work DIR] [--runner PATH]\n"
                 "                  [--against PATH] [--plain] [--smoke] [--strict]\n",
                 problem);
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i++) {
        std::string option = argv[i];
        if (option == "--smoke") {
            options.smoke = true;
            continue;
        }
        if (option == "--strict") {
            options.strict = true;
            continue;
        }
        if (option == "--plain") {
            options.plain = true;
            options.runner = ZEDID_MODEL_RUN_PATH;
            continue;
        }
        if (i + 1 >= argc) return Usage("an option needs a value");
        const char* value = argv[++i];
        if (option == "--runs") {
            options.runs = std::atoi(value);
            if (options.runs < 1) return Usage("--runs needs a number of at least 1");
        } else if (option == "--work") {
            options.work = value;
        } else if (option == "--runner") {
            options.runner = value;
        } else if (option == "--against") {
            options.against = value;
        } else if (option == "--shapes") {
            if (!ParseList(value, options.shapes, [](const std::string& s, zedidgen::Shape* shape) {
                    return zedidgen::ParseShape(s.c_str(), shape);
                }))
                return Usage("unknown shape");
        } else if (option == "--sizes") {
            if (!ParseList(value, options.sizes, [](const std::string& s, int* size) {
                    *size = std::atoi(s.c_str());
                    return *size >= 1 && *size <= 5;
                }))
                return Usage("sizes are 1 to 5");
        } else {
            return Usage("unknown option");
        }
    }
    if (options.smoke) {
        options.sizes = {1};
        options.runs = 1;
    }
    std::sort(options.sizes.begin(), options.sizes.end());
    // The runners must stay reachable after the change of directory.
    for (std::string* runner : {&options.runner, &options.against}) {
        if (runner->find('/') == std::string::npos || (*runner)[0] == '/') continue;
        char here[4096];
        if (getcwd(here, sizeof here) != nullptr) *runner = std::string(here) + "/" + *runner;
    }
    mkdir(options.work.c_str(), 0777);
    if (chdir(options.work.c_str()) != 0) return Usage("cannot enter the work directory");
    // wc counts bytes, not characters, in the C locale: the plain scan.
    setenv("LC_ALL", "C", 1);

    double emptypeak = EmptyPeak(options, options.runner);
    double againstemptypeak = options.against.empty() ? 0 : EmptyPeak(options, options.against);
    std::vector<Row> rows;
    bool failed = emptypeak == 0 || (!options.against.empty() && againstemptypeak == 0);
    if (failed) std::fprintf(stderr, "zedid_perf: the runner failed on the empty design\n");
    for (zedidgen::Shape shape : options.shapes) {
        for (int size : options.sizes) {
            Row row = Measure(options, shape, size);
            std::fprintf(stderr, "%s size %d: %s\n", zedidgen::ShapeName(shape), size,
                         row.ok ? (Figure(row.run.wall * 1000) + " ms").c_str() : row.problem.c_str());
            failed = failed || !row.ok;
            rows.push_back(row);
        }
    }
    std::printf("%sMedians of %d run%s; MB = 10^6 bytes. Times are of the whole zedid_run process (wall, and "
                "processor: user + system). MB/s, connections/s and x wc -w come from processor times (wc -w ms "
                "is processor time too); growth is the processor time of the export call over the previous "
                "size's. The peak limit is %s times the file plus the %s MB that the process peaks at on a design "
                "of one connection.\n\n",
                options.plain ? "The test model's plain algorithms. " : "", options.runs, options.runs == 1 ? "" : "s",
                Figure(MemoryRatio).c_str(), Figure(emptypeak).c_str());
    PrintTable(rows, emptypeak);
    if (!options.against.empty()) PrintComparison(rows, emptypeak, againstemptypeak);
    if (options.smoke) return failed ? 1 : 0;
    int missed = JudgeTargets(rows, emptypeak, !options.against.empty());
    if (failed) return 1;
    return options.strict && missed > 0 ? 1 : 0;
}
