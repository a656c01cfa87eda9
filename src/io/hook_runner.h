#pragma once
// Runs an operator's command for every alarm event, as an advisory script:
// the command and the event's fields as its arguments, no shell between.
// The caller never waits: run() only queues, and poll(), called from the
// caller's own loop or tick, starts, watches and reaps the processes.
//
// Hooks start in the order of the events, one after the other while each
// ends quickly; one that has run for a second no longer holds back the
// next, up to a few at once. Each is ended after its time (SIGTERM to its
// process group, SIGKILL a second later), and events beyond a bounded queue
// are dropped. A command that cannot be started, fails, is ended or drops
// events is reported once, until a hook succeeds again.
//
// No Qt: POSIX spawning and waiting.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tessaly {

class HookRunner {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::size_t running = 4;                       // at once
        std::size_t queued = 64;                       // waiting to start
        std::chrono::milliseconds hold{1000};          // a hook holds back the next this long
        std::chrono::milliseconds timeout{10000};      // then it is ended
    };

    // `command`: the program (searched on PATH when it has no slash) and
    // its own arguments, as split() gives them.
    explicit HookRunner(std::vector<std::string> command);
    HookRunner(std::vector<std::string> command, Limits limits);
    // Ends (SIGKILL) and reaps the hooks still running.
    ~HookRunner();
    HookRunner(const HookRunner&) = delete;
    HookRunner& operator=(const HookRunner&) = delete;

    // Queues one run with these arguments after the command's own; starts
    // it at once when nothing holds it back.
    void run(std::vector<std::string> arguments);
    // Reaps what ended, ends what ran too long, starts what may start.
    void poll();
    // Polls until every queued hook has run and ended (each bounded by the
    // timeout): for the end of a program.
    void drain();

    std::size_t running() const { return running_.size(); }
    std::size_t waiting() const { return queue_.size(); }

    // A problem, in one line; once until a hook succeeds again.
    std::function<void(const std::string&)> on_problem;

    // "prog --flag 'two words'" → {"prog", "--flag", "two words"}: words
    // split at blanks; single or double quotes keep blanks in a word.
    static std::vector<std::string> split(const std::string& command);

private:
    struct Process {
        pid_t pid;
        Clock::time_point started;
        bool terminated = false;  // SIGTERM sent
    };
    void start(std::vector<std::string> arguments);
    bool may_start(Clock::time_point now) const;
    void problem(const std::string& text);

    std::vector<std::string> command_;
    Limits limits_;
    std::deque<std::vector<std::string>> queue_;
    std::vector<Process> running_;
    bool reported_ = false;
};

}  // namespace tessaly
