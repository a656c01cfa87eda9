#pragma once
// The forwarding ring: received chunks wait here until the drain timer hands
// them to the serial port. Entries are numbered 1 to 100 and both indexes
// wrap from 100 to 1.
//
// A writer that would lap the drain does not overwrite unsent entries: the
// chunks that do not fit wait in an overflow queue, behind the ring, and
// later chunks queue behind them, so that every chunk is written once and in
// arrival order.
#include <array>
#include <deque>
#include <functional>
#include <string>

namespace tessaly {

class Tsend_buffer {
public:
    static constexpr int entry_count = 100;

    // Indexes and busy mark to 0, nothing waiting.
    void reset();

    // Stores a chunk behind the ones waiting.
    void store(std::string chunk);

    // Hands every waiting chunk, in order, to `write`. Does nothing while a
    // drain is running. When `write` throws, the chunk it was given counts
    // as written and the rest keep waiting.
    void drain(const std::function<void(const std::string&)>& write);

    bool empty() const { return pending_ == 0 && overflow_.empty(); }
    std::size_t waiting() const { return std::size_t(pending_) + overflow_.size(); }
    // Drops everything waiting (forwarding stopped).
    void discard();

    const std::string& entry(int number) const { return entries_[std::size_t(number - 1)]; }
    int inIndex = 0;   // entry stored last
    int outIndex = 0;  // entry written last
    bool busy = false;

private:
    static int next(int i) { return i >= entry_count ? 1 : i + 1; }

    std::array<std::string, entry_count> entries_;
    int pending_ = 0;  // entries stored and not yet written
    std::deque<std::string> overflow_;
};

}  // namespace tessaly
