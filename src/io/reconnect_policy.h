#pragma once
// When to try a live source again after it failed or went away.
//
// Waits double from 1 s up to 256 s and stay there, so that a caster that
// is down for hours is asked a few times an hour, while a short drop costs
// a second. A connection that delivered data for a while (good_connection)
// shows that the far end works again: the next outage starts over at 1 s.
// A connection that opened and fell at once does not count as good, or a
// server that accepts and closes at once would be hammered every second.
//
// No clock and no Qt inside: the caller says how long the last connection
// delivered data and schedules the wait on its own timer.

#include <chrono>

namespace tessaly {

class ReconnectPolicy {
public:
    using seconds = std::chrono::seconds;
    static constexpr seconds kFirstWait{1};
    static constexpr seconds kLongestWait{256};
    static constexpr seconds kGoodConnection{30};

    explicit ReconnectPolicy(seconds good_connection = kGoodConnection) : good_(good_connection) {}

    // An attempt failed or a connection ended. `receiving` is how long the
    // ended connection delivered data (first byte to last byte; zero when
    // it never did). Returns the wait before the next attempt.
    seconds next_wait(std::chrono::steady_clock::duration receiving = {});

    // Attempts scheduled since the last good connection (1 after the first
    // failure): the "attempt k" of the status texts.
    int attempt() const { return attempt_; }

    // Forget the outage, e.g. when the operator starts the source anew.
    void reset() { attempt_ = 0; }

private:
    seconds good_;
    int attempt_ = 0;
};

}  // namespace tessaly
