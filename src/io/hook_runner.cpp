// See hook_runner.h.
#include "hook_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace tessaly {

namespace {

// What follows SIGTERM before SIGKILL.
constexpr std::chrono::milliseconds kill_grace{1000};

std::string seconds(std::chrono::milliseconds ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", double(ms.count()) / 1000);
    return buf;
}

}  // namespace

HookRunner::HookRunner(std::vector<std::string> command) : HookRunner(std::move(command), Limits{}) {}

HookRunner::HookRunner(std::vector<std::string> command, Limits limits)
    : command_(std::move(command)), limits_(limits) {}

HookRunner::~HookRunner() {
    for (const Process& p : running_) {
        ::kill(-p.pid, SIGKILL);
        ::waitpid(p.pid, nullptr, 0);
    }
}

std::vector<std::string> HookRunner::split(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (const char c : command) {
        if (quote) {
            if (c == quote) quote = 0;
            else word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

void HookRunner::problem(const std::string& text) {
    if (reported_) return;
    reported_ = true;
    if (on_problem) on_problem(text);
}

void HookRunner::run(std::vector<std::string> arguments) {
    if (command_.empty()) return;
    if (queue_.size() >= limits_.queued) {
        problem(command_[0] + ": events dropped, " + std::to_string(limits_.queued) +
                " were waiting for the hooks before them");
        return;
    }
    queue_.push_back(std::move(arguments));
    poll();
}

bool HookRunner::may_start(Clock::time_point now) const {
    if (running_.size() >= limits_.running) return false;
    // One after the other, unless the ones running are slow.
    for (const Process& p : running_)
        if (now - p.started < limits_.hold) return false;
    return true;
}

void HookRunner::start(std::vector<std::string> arguments) {
    std::vector<std::string> words = command_;
    words.insert(words.end(), std::make_move_iterator(arguments.begin()), std::make_move_iterator(arguments.end()));
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    // Nothing to read; what it prints goes with our messages, not into our output.
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, STDERR_FILENO, STDOUT_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own, so that ending it ends what it started too; the
    // signals as a fresh program has them.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        problem("cannot run " + command_[0] + ": " + std::strerror(rc));
        return;
    }
    running_.push_back({pid, Clock::now()});
}

void HookRunner::poll() {
    const Clock::time_point now = Clock::now();
    for (auto it = running_.begin(); it != running_.end();) {
        int status = 0;
        const pid_t done = ::waitpid(it->pid, &status, WNOHANG);
        if (done == it->pid || (done < 0 && errno == ECHILD)) {
            if (done == it->pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) reported_ = false;
            else if (it->terminated) problem(command_[0] + " ran longer than " + seconds(limits_.timeout) + " s and was ended");
            else if (done == it->pid && WIFEXITED(status))
                problem(command_[0] + " failed with exit status " + std::to_string(WEXITSTATUS(status)));
            else if (done == it->pid && WIFSIGNALED(status))
                problem(command_[0] + " was killed by signal " + std::to_string(WTERMSIG(status)));
            it = running_.erase(it);
            continue;
        }
        const auto age = now - it->started;
        if (!it->terminated && age >= limits_.timeout) {
            ::kill(-it->pid, SIGTERM);
            it->terminated = true;
        } else if (it->terminated && age >= limits_.timeout + kill_grace) {
            ::kill(-it->pid, SIGKILL);
        }
        ++it;
    }
    while (!queue_.empty() && may_start(now)) {
        std::vector<std::string> next = std::move(queue_.front());
        queue_.pop_front();
        start(std::move(next));
    }
}

void HookRunner::drain() {
    for (poll(); !queue_.empty() || !running_.empty(); poll())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace tessaly
