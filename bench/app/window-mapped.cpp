// window-mapped: starts a program and prints the seconds from its exec to the
// moment the X server maps its first top-level window whose WM_CLASS instance
// name is the one given (MapNotify on the root window: no polling), and the
// CPU seconds the program had used by then. The program is then ended with
// SIGTERM (SIGKILL after 10 s) and waited for.
//
//   window-mapped INSTANCE PROGRAM [ARGS...]     (DISPLAY names the X server)
//
// Prints "<seconds to the map> <CPU seconds by then>" on one line; exit 1
// when no such window was mapped within 30 s.

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string InstanceName(xcb_connection_t* x, xcb_window_t window) {
    const xcb_get_property_cookie_t cookie = xcb_get_property(x, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(x, cookie, nullptr);
    if (!reply)
        return {};
    const auto* value = static_cast<const char*>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    std::string name(value, static_cast<std::size_t>(length));
    std::free(reply);
    return name.substr(0, name.find('\0'));
}

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void End(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 1000; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: window-mapped INSTANCE PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::string instance = argv[1];
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "window-mapped: no X server\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr)); // the mask is in force

    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[2], argv + 2);
        std::perror("window-mapped: exec");
        ::_exit(127);
    }
    const Clock::time_point giveUp = start + std::chrono::seconds(30);
    pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window = mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
            std::free(event);
            if (!mapped)
                continue;
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (InstanceName(x, window) != instance)
                continue;
            std::printf("%.4f %.3f\n", seconds, CpuSeconds(pid));
            End(pid);
            xcb_disconnect(x);
            return 0;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now()).count();
        if (left <= 0 || xcb_connection_has_error(x))
            break;
        ::poll(&fd, 1, static_cast<int>(left));
    }
    std::fprintf(stderr, "window-mapped: no window of \"%s\" within 30 s\n", instance.c_str());
    End(pid);
    xcb_disconnect(x);
    return 1;
}
