// One full change scan of a folder in which nothing changed, against a bare
// listing of the same folder (readdir plus stat of every entry), for folders
// of 1,000, 10,000 and 100,000 files, in real time; and for 50,000 files in
// CPU time of the whole process (every thread, user and system). A scan in
// which nothing changed lists the folder once and compares it with the
// listing, which it leaves as it is.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "config/data_folder.h"
#include "config/snapshot.h"
#include "engine/change_scan.h"
#include "platform/activity.h"
#include "platform/services.h"
#include "text/convert.h"

namespace {

namespace fs = std::filesystem;
using namespace molvar;

constexpr int kSizes[] = {1'000, 10'000, 100'000};
constexpr int kProcessCpuFiles = 50'000;
constexpr int kNewFiles = 1'000;

class BenchFolders {
public:
    BenchFolders() {
        const char* base = std::getenv("MOLVAR_BENCH_DIR");
        std::string pattern = (fs::path(base ? base : fs::temp_directory_path().string()) / "molvar-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        root_ = pattern;
        fs::create_directories(root_ / "data" / "obsdat");
        config::g_baseFolder = *text::FromUtf8((root_ / "data").string());
    }
    ~BenchFolders() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // A folder of `files` small files, made on first use.
    fs::path Folder(int files) {
        const fs::path folder = root_ / ("watched-" + std::to_string(files));
        if (!fs::exists(folder)) {
            fs::create_directory(folder);
            char name[32];
            for (int k = 0; k < files; ++k) {
                std::snprintf(name, sizeof name, "report-%06d.csv", k);
                std::ofstream(folder / name) << k;
            }
        }
        return folder;
    }

private:
    fs::path root_;
};

BenchFolders& Folders() {
    static BenchFolders folders;
    return folders;
}

void BareListing(benchmark::State& state) {
    const fs::path folder = Folders().Folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        DIR* dir = ::opendir(folder.c_str());
        std::int64_t entries = 0;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat info {};
            ::fstatat(::dirfd(dir), entry->d_name, &info, 0);
            entries += info.st_size >= 0;
        }
        ::closedir(dir);
        benchmark::DoNotOptimize(entries);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void FullScan(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    config::WatchEntry entry;
    text::StoreField(entry.folder, *text::FromUtf8(Folders().Folder(files).string()), entry.folder.size() - 1);
    const int index = 0;
    config::WriteSnapshot(index, entry);
    for (auto _ : state) {
        engine::g_lastScanTime[index] = 0;  // every report scans
        engine::ScanForChanges(index, entry, platform::SystemServices());
    }
    state.SetItemsProcessed(state.iterations() * files);
}

// A scan that finds 1,000 new files (each its "found" line), with the
// history written to a file (range 1) and with one that records nothing.
void NewFilesScan(benchmark::State& state) {
    const bool withHistory = state.range(0) != 0;
    const fs::path folder = Folders().Folder(kNewFiles);
    platform::UseActivityLog(std::make_unique<platform::ActivityLog>(
        withHistory ? platform::NativeFromUtf8((folder.parent_path() / "history").string()) : platform::NativePath{}));
    config::WatchEntry entry;
    text::StoreField(entry.folder, *text::FromUtf8(folder.string()), entry.folder.size() - 1);
    const int index = 1;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(fs::path(config::ListingFilePath(index).bytes()));
        engine::g_lastScanTime[index] = 0;
        state.ResumeTiming();
        engine::ScanForChanges(index, entry, platform::SystemServices());
    }
    platform::UseActivityLog(nullptr);
    state.SetItemsProcessed(state.iterations() * kNewFiles);
}

// Keeps the real time per iteration of every run, for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // With repetitions, the median stands for the run.
            if (run.run_type == Run::RT_Iteration || (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")) {
                const double time = run.run_name.str().ends_with("/process_time") ? run.GetAdjustedCPUTime()
                                                                                   : run.GetAdjustedRealTime();
                seconds_[run.run_name.str()] = time / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        const auto bareCpu = seconds_.find("BareListing/" + std::to_string(kProcessCpuFiles) + "/process_time");
        const auto scanCpu = seconds_.find("FullScan/" + std::to_string(kProcessCpuFiles) + "/process_time");
        if (bareCpu != seconds_.end() && scanCpu != seconds_.end()) {
            std::printf("\nwhole-process CPU, %d files: bare listing %.3fms, full scan %.3fms, ratio %.2f "
                        "(target: at most 1.3)\n",
                        kProcessCpuFiles, bareCpu->second * 1e3, scanCpu->second * 1e3,
                        scanCpu->second / bareCpu->second);
        }
        std::printf("\n%10s %14s %14s %8s %16s\n", "files", "bare listing", "full scan", "ratio", "scan per file");
        double scanPerFileAtFirst = 0;
        for (const int files : kSizes) {
            const auto bare = seconds_.find("BareListing/" + std::to_string(files) + "/real_time");
            const auto scan = seconds_.find("FullScan/" + std::to_string(files) + "/real_time");
            if (bare == seconds_.end() || scan == seconds_.end()) {
                continue;
            }
            const double perFile = scan->second / files;
            if (scanPerFileAtFirst == 0) {
                scanPerFileAtFirst = perFile;
            }
            std::printf("%10d %12.3fms %12.3fms %8.2f %13.3fus (%.2fx of %d files)\n", files, bare->second * 1e3,
                        scan->second * 1e3, scan->second / bare->second, perFile * 1e6, perFile / scanPerFileAtFirst,
                        kSizes[0]);
        }
        std::printf("targets: ratio at most 1.3 at 100000 files; per-file time at 100000 within 1.5x of 1000\n");
        const auto without = seconds_.find("NewFilesScan/0/repeats:7/real_time");
        const auto with = seconds_.find("NewFilesScan/1/repeats:7/real_time");
        if (without != seconds_.end() && with != seconds_.end()) {
            std::printf("\nscan of %d new files: %.3fms without a history, %.3fms with one: %+.1f%% (target: at most +5%%)\n",
                        kNewFiles, without->second * 1e3, with->second * 1e3,
                        (with->second / without->second - 1) * 100);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const int files : kSizes) {
        benchmark::RegisterBenchmark("BareListing", BareListing)->Arg(files)->UseRealTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("FullScan", FullScan)->Arg(files)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("NewFilesScan", NewFilesScan)
        ->Arg(0)
        ->Arg(1)
        ->Repetitions(7)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    using Function = void (*)(benchmark::State&);
    for (const auto& [name, function] :
         {std::pair<const char*, Function>{"BareListing", BareListing}, std::pair<const char*, Function>{"FullScan", FullScan}}) {
        benchmark::RegisterBenchmark(name, function)
            ->Arg(kProcessCpuFiles)
            ->MeasureProcessCPUTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
