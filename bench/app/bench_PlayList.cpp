// The playlist's cost at start-up and at the close: the whole window (offscreen)
// over a program folder whose Download.ini lists ROWS songs is made, shown
// until the playlist has painted, closed (the settings saved) and destroyed.
// The rows' cost is that of a start and close with ROWS rows less that of one
// with an empty list. The reference, in the same run and the same folder,
// reads the same Download.ini (with the program's INI reader, whose rules the
// file follows), checks each listed path with stat() and writes the file back:
// the work the rows need without a window. Beside it, the floor: the same with
// plain POSIX calls (read the bytes, stat each "Music" line's path, write a
// temporary file, fsync, rename).
//
// Prints, for 10,000 and 50,000 rows, the CPU milliseconds of the rows, of the
// reference and of the floor (medians; CPU of every thread of the process),
// the ratio of rows to reference (goal for 10,000 rows: at most 1.2), the
// rows' heap bytes while the list is shown, and per row how time and memory
// grow from 10,000 to 50,000 rows (1.00: in step with the rows).
//
//   bench_PlayList [RUNS]     (default 7 runs per figure)

#include "TempDir.h"
#include "TestWindow.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace zv2;

double CpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::size_t HeapBytes() {
    return mallinfo2().uordblks;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A program folder whose playlist lists `rows` files that exist.
struct THome {
    explicit THome(int rows) {
        std::ostringstream ini;
        ini << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n[MusicList]\nMusicCount=" << rows << "\n";
        for (int i = 0; i < rows; ++i) {
            // Half Chinese, half Latin names, as a real collection has.
            const std::string name =
                Dir.File((i % 2 ? "周杰伦 - 歌曲 " : "Artist - Song ") + std::to_string(i) + ".mp3");
            std::ofstream(name) << "x";
            ini << "Music" << i << "=" << name << "\n";
        }
        std::ofstream(IniPath()) << ini.str();
    }
    std::string Folder() const { return Dir.Path() + "/"; }
    std::string IniPath() const { return Dir.File("Download.ini"); }
    test::TTempDir Dir;
};

// Counts the paint events of a widget.
struct TPaints : QObject {
    int Count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        Count += event->type() == QEvent::Paint;
        return false;
    }
};

struct TRun {
    double CpuMs = 0;
    double HeapBytes = 0; // while the list is shown
};

// One start with the list shown and one close, as the program does them.
TRun StartShowClose(const THome& home, int rows) {
    TRun run;
    const std::size_t heapBefore = HeapBytes();
    const double before = CpuMs();
    {
        test::TTestWindow window(home.Folder());
        app::Tfrm_Main& form = *window.Form;
        TPaints paints;
        form.lvPlayList->viewport()->installEventFilter(&paints);
        form.show();
        for (int turn = 0; turn < 100 && paints.Count == 0; ++turn)
            QApplication::processEvents();
        run.HeapBytes = static_cast<double>(HeapBytes()) - static_cast<double>(heapBefore);
        if (paints.Count == 0 || form.PlayList().Count() != static_cast<std::size_t>(rows))
            std::abort();
        form.CloseWithoutQuery(); // saves the settings, the playlist with them
        if (!form.SaveError().empty())
            std::abort();
    }
    run.CpuMs = CpuMs() - before;
    return run;
}

// The reference: read the file, stat each listed path, write the file back.
double IniReadStatWrite(const THome& home, int rows) {
    const double before = CpuMs();
    platform::TIniFile ini(home.IniPath());
    const int count = ini.ReadInteger("MusicList", "MusicCount", 0);
    int found = 0;
    for (int i = 0; i < count; ++i) {
        struct stat st {};
        const auto path = ini.Find("MusicList", "Music" + std::to_string(i));
        found += path && ::stat(path->c_str(), &st) == 0;
    }
    if (!ini.Save() || found != rows)
        std::abort();
    return CpuMs() - before;
}

// The floor: the same with plain POSIX calls.
double ReadStatWrite(const THome& home, int rows) {
    const double before = CpuMs();
    std::string text;
    {
        std::ifstream in(home.IniPath(), std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    int found = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        if (text.compare(at, 5, "Music") == 0 && text.compare(at, 10, "MusicCount") != 0) {
            const std::size_t equals = text.find('=', at);
            struct stat st {};
            if (equals < end && ::stat(text.substr(equals + 1, end - equals - 1).c_str(), &st) == 0)
                ++found;
        }
        at = end + 1;
    }
    const std::string temporary = home.IniPath() + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                         ::fsync(fd) == 0 && ::close(fd) == 0 &&
                         ::rename(temporary.c_str(), home.IniPath().c_str()) == 0;
    if (!written || found != rows)
        std::abort();
    return CpuMs() - before;
}

struct TFigures {
    double RowsCpuMs = 0, ReferenceCpuMs = 0, FloorCpuMs = 0, RowsHeapBytes = 0;
};

TFigures Measure(int rows, int runs) {
    const THome empty(0), full(rows);
    StartShowClose(empty, 0); // the first window pays for what every later one finds made
    std::vector<double> emptyCpu, fullCpu, reference, floor, emptyHeap, fullHeap;
    for (int i = 0; i < runs; ++i) {
        const TRun e = StartShowClose(empty, 0);
        const TRun f = StartShowClose(full, rows);
        emptyCpu.push_back(e.CpuMs);
        fullCpu.push_back(f.CpuMs);
        emptyHeap.push_back(e.HeapBytes);
        fullHeap.push_back(f.HeapBytes);
        reference.push_back(IniReadStatWrite(full, rows));
        floor.push_back(ReadStatWrite(full, rows));
    }
    return {Median(fullCpu) - Median(emptyCpu), Median(reference), Median(floor), Median(fullHeap) - Median(emptyHeap)};
}

} // namespace

int main(int argc, char** argv) {
    // The program's own network guard and sites, the null sound device, no display.
    ::setenv("ZV2_LOOPBACK_ONLY", "1", 1);
    ::setenv("ZV2_MUSIC_SITE", "127.0.0.1:9", 1);
    ::setenv("ZV2_LYRIC_SITE", "127.0.0.1:9", 1);
    ::setenv("ZV2_AUDIO", "null", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QApplication app(argc, argv);

    const TFigures small = Measure(10000, runs);
    const TFigures large = Measure(50000, runs);
    for (const auto& [rows, f] : {std::pair{10000, small}, std::pair{50000, large}})
        std::printf("%d rows: start with the list shown + close %.1f ms CPU over an empty list; reference (read the "
                    "INI, stat each path, write it back) %.1f ms CPU, ratio %.2f; floor (plain POSIX) %.1f ms CPU, "
                    "ratio %.2f; heap while shown %.0f bytes per row\n",
                    rows, f.RowsCpuMs, f.ReferenceCpuMs, f.RowsCpuMs / f.ReferenceCpuMs, f.FloorCpuMs,
                    f.RowsCpuMs / f.FloorCpuMs, f.RowsHeapBytes / rows);
    std::printf("from 10,000 to 50,000 rows, per row: time x%.2f, memory x%.2f (1.00: in step with the rows)\n",
                (large.RowsCpuMs / 50000) / (small.RowsCpuMs / 10000),
                (large.RowsHeapBytes / 50000) / (small.RowsHeapBytes / 10000));
    return 0;
}
