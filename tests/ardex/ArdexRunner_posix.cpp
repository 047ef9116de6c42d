#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "ArdexRunner.h"
#include "platform/Text.h"

namespace ardex_test {

namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    ~Pipe() { CloseBoth(); }
    bool Open() { return pipe2(fds, O_CLOEXEC) == 0; }
    void Close(int end) {
        if (fds[end] >= 0) close(fds[end]);
        fds[end] = -1;
    }
    void CloseBoth() {
        Close(0);
        Close(1);
    }
};

}  // namespace

RunResult RunArdexProcess(const std::vector<std::u16string>& arguments, const std::string& input,
                          const std::filesystem::path& workingDir) {
    RunResult result;
    std::vector<std::string> argv8{ARDEX_PATH};
    for (const auto& argument : arguments) argv8.push_back(platform::ToUtf8(argument));
    std::vector<char*> argv;
    for (auto& argument : argv8) argv.push_back(argument.data());
    argv.push_back(nullptr);

    Pipe in, out, err;
    if (!in.Open() || !out.Open() || !err.Open()) return result;
    signal(SIGPIPE, SIG_IGN);
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        dup2(in.fds[0], 0);
        dup2(out.fds[1], 1);
        dup2(err.fds[1], 2);
        if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(127);
        // Arguments above are UTF-8, so the program must decode them as such.
        setenv("LC_ALL", "C.UTF-8", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    result.started = true;
    in.Close(0);
    out.Close(1);
    err.Close(1);

    size_t written = 0;
    if (input.empty()) in.Close(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    bool timedOut = false;
    while (out.fds[0] >= 0 || err.fds[0] >= 0) {
        pollfd fds[3];
        nfds_t count = 0;
        int* owners[3];
        auto watch = [&](int& fd, short events) {
            if (fd < 0) return;
            fds[count] = {fd, events, 0};
            owners[count++] = &fd;
        };
        watch(in.fds[1], POLLOUT);
        watch(out.fds[0], POLLIN);
        watch(err.fds[0], POLLIN);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        if (poll(fds, count, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            int& fd = *owners[i];
            if (&fd == &in.fds[1]) {
                const ssize_t n = write(fd, input.data() + written, input.size() - written);
                if (n > 0) written += static_cast<size_t>(n);
                if (n < 0 || written == input.size()) in.Close(1);
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fd, buffer, sizeof(buffer));
            if (n <= 0) {
                close(fd);
                fd = -1;
                continue;
            }
            (&fd == &out.fds[0] ? result.out : result.err).append(buffer, static_cast<size_t>(n));
        }
    }
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = timedOut ? -2 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace ardex_test
