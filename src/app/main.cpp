// The program's entry: one copy per user and program folder, then the main
// window until it closes. Files on the command line go to the playlist, or to
// the copy that already runs. SIGTERM, SIGINT and the end of the desktop session
// close the window the normal way (settings saved, no question asked).

#include "app/untCommandLine.h"
#include "app/untFrmMain.h"
#include "app/untMprisService.h"
#include "app/untQtDispatcher.h"
#include "platform/ProgramFolder.h"
#include "platform/RunOnce.h"
#include "platform/SiteAddress.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(SignalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char* argv[]) {
    std::error_code error;
    const std::string currentFolder = std::filesystem::current_path(error).string();
    auto commandLine = zv2::app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), currentFolder);
    if (commandLine.Help) {
        std::fputs(zv2::app::kUsage, stdout);
        return 0;
    }
    if (commandLine.Version) {
        std::fputs(zv2::app::kVersionText, stdout);
        return 0;
    }
    // Qt would abort without a display: say so before anything is made.
    if (!zv2::app::HasDisplay(commandLine, {Env("DISPLAY"), Env("WAYLAND_DISPLAY"), Env("QT_QPA_PLATFORM")})) {
        std::fputs(zv2::app::kNoDisplayText, stderr);
        return 1;
    }
    const std::string programFolder = zv2::platform::ProgramFolder();
    zv2::platform::TRunOnce runOnce(programFolder);
    if (runOnce.CheckFirstInstance(commandLine.Files))
        return 0; // the running copy has the files and has been brought to the front

    // Qt sees its own options and never the files. Both stay valid as long as the application.
    std::vector<char*> qtArgv{argv[0]};
    for (std::string& arg : commandLine.ToolkitArguments)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgv.size()) - 1;
    QApplication app(qtArgc, qtArgv.data());
    // The desktop finds the menu entry, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName(zv2::app::kDesktopName);
    zv2::app::TQtDispatcher dispatcher;

    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalPipe);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    zv2::app::TFormEnvironment env;
    env.ProgramFolder = programFolder;
    env.MusicSiteHost = zv2::platform::MusicSiteHost();
    env.LyricSiteHost = zv2::platform::LyricSiteHost();
    env.Dispatcher = &dispatcher;
    env.Files = std::move(commandLine.Files);
    zv2::app::Tfrm_Main window(std::move(env));

    QSocketNotifier signalNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char c;
        [[maybe_unused]] auto n = ::read(SignalPipe[0], &c, 1);
        // Queued behind what later starts have handed in before the signal.
        dispatcher.Post([&window] { window.CloseWithoutQuery(); });
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&] { window.CloseWithoutQuery(); });
    runOnce.Listen([&](std::vector<std::string> files) {
        dispatcher.Post([&window, files = std::move(files)] {
            window.OpenFiles(files);
            window.BringToFront();
        });
    });
    // Made after the window and the dispatcher, so it goes first: a later start
    // during the shutdown can no longer reach them.
    struct TStopListening {
        zv2::platform::TRunOnce& RunOnce;
        ~TStopListening() { RunOnce.StopListening(); }
    } stopListening{runOnce};

    // Media keys and panels of the desktop; made after the window, gone before it.
    zv2::app::TMprisService mpris(window);

    window.show();
    // The other tabs' controls, the player, the workers and the desktop's
    // services come once the window is on the screen.
    QTimer::singleShot(0, &window, [&] {
        window.FormShow();
        mpris.Start();
    });
    // ZV2_SCREENSHOT=file.png saves a picture of the window once it has settled
    // (how scripts/run shows the window on a machine without a display).
    if (const char* shot = std::getenv("ZV2_SCREENSHOT"); shot && *shot) {
        QTimer::singleShot(1500, &window, [&window, path = QString::fromLocal8Bit(shot)] {
            if (window.grab().save(path))
                std::printf("zv2player: screenshot saved to %s\n", path.toLocal8Bit().constData());
            std::fflush(stdout);
        });
    }
    return app.exec();
}
