#pragma once
// Runs a program with its standard output and error captured, for tests that
// drive a tool from the outside.

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zv2::test {

class TChildProcess {
public:
    // Starts `argv[0]` (searched in PATH) with `argv`.
    explicit TChildProcess(const std::vector<std::string>& argv) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        Pid_ = ::fork();
        if (Pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        Out_ = out[0];
        Err_ = err[0];
    }

    ~TChildProcess() {
        if (Pid_ > 0 && !Exited_) {
            ::kill(Pid_, SIGKILL);
            Wait();
        }
        for (int fd : {Out_, Err_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    bool Started() const { return Pid_ > 0; }
    pid_t Pid() const { return Pid_; }

    // Reads the program's output until its error output holds `text`
    // `count` times, the program ends, or `limitMs` passes. True when it did.
    bool WaitForError(const std::string& text, int limitMs, int count = 1) {
        return WaitFor(Err, text, limitMs, count);
    }
    // The same for its standard output.
    bool WaitForOutput(const std::string& text, int limitMs) { return WaitFor(Out, text, limitMs, 1); }

    static int Occurrences(const std::string& in, const std::string& text) {
        int n = 0;
        for (auto at = in.find(text); at != std::string::npos; at = in.find(text, at + text.size())) {
            ++n;
        }
        return n;
    }

    void Signal(int signal) {
        if (Pid_ > 0 && !Exited_) {
            ::kill(Pid_, signal);
        }
    }

    // Reads all output until the program ends; returns its exit code (128 +
    // signal when a signal ended it).
    int Wait() {
        while (ReadSome(-1)) {
        }
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        Exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string Out;
    std::string Err;

private:
    bool WaitFor(const std::string& in, const std::string& text, int limitMs, int count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (Occurrences(in, text) < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) {
                return Occurrences(in, text) >= count;
            }
        }
        return true;
    }

    // One read from whichever output has data; false when both have ended or the wait timed out.
    bool ReadSome(int timeoutMs) {
        pollfd fds[2] = {{Out_, POLLIN, 0}, {Err_, POLLIN, 0}};
        int open = 0;
        for (pollfd& fd : fds) {
            open += fd.fd >= 0 ? 1 : 0;
        }
        if (open == 0 || ::poll(fds, 2, timeoutMs) <= 0) {
            return false;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            int& fd = i == 0 ? Out_ : Err_;
            if (got <= 0) {
                ::close(fd);
                fd = -1;
            } else {
                (i == 0 ? Out : Err).append(buffer, static_cast<std::size_t>(got));
            }
        }
        return true;
    }

    pid_t Pid_ = -1;
    int Out_ = -1;
    int Err_ = -1;
    bool Exited_ = false;
};

} // namespace zv2::test
