// A 10,000-row playlist through a whole start and close: read Download.ini,
// keep the files that exist, fill the model, build the list view's rows
// (offscreen), write the settings and save the file. The reference is the
// INI file alone (read and save the same file), measured in the same run;
// the figure to watch is the ratio printed at the end.
//
//   bench_PlayList [--benchmark_min_time=...]

#include "TempDir.h"
#include "app/untPlayList.h"
#include "app/untPlayListView.h"
#include "app/untSettings.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

namespace {

using namespace zv2;

constexpr int kRows = 10000;

struct TPlayListFolder {
    TPlayListFolder() {
        app::TSettingsData data;
        data.IP = "127.0.0.2";
        for (int i = 0; i < kRows; ++i) {
            // Half Chinese, half Latin names, as a real collection has.
            const std::string name = (i % 2 ? "周杰伦 - 歌曲" : "Artist - Song ") + std::to_string(i) + ".mp3";
            std::ofstream(Dir.File(name)) << "x";
            data.Music.push_back(Dir.File(name));
        }
        platform::TIniFile ini(IniPath());
        app::WriteSettings(ini, data);
        if (!ini.Save())
            std::abort();
    }
    std::string IniPath() const { return Dir.File("Download.ini"); }
    test::TTempDir Dir;
};

const TPlayListFolder* Folder = nullptr;

void LoadShowSave(benchmark::State& state) {
    for (auto _ : state) {
        platform::TIniFile ini(Folder->IniPath());
        auto data = app::ReadSettings(ini, Folder->Dir.Path() + "/", "127.0.0.1:9", platform::FileExists);
        app::TPlayList list;
        app::TPlayListModel model(list);
        QTreeView view;
        view.setUniformRowHeights(true);
        app::BindPlayList(view, model, list);
        list.AppendAll(data.Music);
        data.Music = list.Paths();
        app::WriteSettings(ini, data);
        if (!ini.Save() || model.rowCount() != kRows)
            state.SkipWithError("the playlist did not survive");
    }
}

void IniReadAndSave(benchmark::State& state) {
    for (auto _ : state) {
        platform::TIniFile ini(Folder->IniPath());
        if (!ini.Save())
            state.SkipWithError("save failed");
    }
}

// Keeps each benchmark's time per iteration for the ratio.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    TRatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration)
                Times[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    struct TTimes {
        double Real = 0, Cpu = 0; // ms per iteration
    };
    std::map<std::string, TTimes> Times;
};

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const TPlayListFolder folder;
    Folder = &folder;
    benchmark::RegisterBenchmark("IniReadAndSave", IniReadAndSave)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadShowSave", LoadShowSave)->Unit(benchmark::kMillisecond);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto reference = reporter.Times["IniReadAndSave"];
    const auto playlist = reporter.Times["LoadShowSave"];
    if (reference.Real > 0 && reference.Cpu > 0)
        std::printf("%d rows: load + show + save %.1f ms (CPU %.1f ms), INI read + save %.1f ms (CPU %.1f ms), "
                    "ratio %.2f (CPU %.2f)\n",
                    kRows, playlist.Real, playlist.Cpu, reference.Real, reference.Cpu, playlist.Real / reference.Real,
                    playlist.Cpu / reference.Cpu);
    benchmark::Shutdown();
    return 0;
}
