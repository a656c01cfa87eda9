#pragma once
// Words, parity failures and sync losses of the last 60 s of stream time,
// for the rule `parity`. The words are counted from what the pipeline and
// the decoder count anyway: the frames' shares of the bytes less the
// characters taken into no word, five characters a word; nothing is added
// to the decoder's work per word. At the first frame of every second of
// stream time the running totals are marked and the window (the totals
// less the mark of 60 s before) judged. Internal to the engine.

#include <array>
#include <cstdint>

namespace tessaly::alarms::detail {

class ParityWindow {
public:
    static constexpr int seconds = 60;

    // The running counts at the first frame of a second of stream time: the
    // frames' shares of the bytes, and the decoder's unused characters,
    // parity failures and sync losses. False until the window has seen a
    // whole minute.
    bool mark(double t, std::uint64_t bytes, std::uint32_t unused, std::uint64_t parity, std::uint64_t sync) {
        const std::int64_t s = second_of(t);
        if (!started_) {
            // What the decoder counted before this stream is not its own.
            started_ = true;
            first_ = head_ = s;
            last_unused_ = unused;
            now_ = {bytes, 0, parity, sync};
            marks_.fill(now_);
        }
        now_.unused += std::uint32_t(unused - last_unused_);
        last_unused_ = unused;
        now_.parity = parity;
        now_.sync = sync;
        now_.bytes = bytes;
        // The seconds up to this frame's open with the totals as they stand.
        const std::int64_t from = s - head_ > seconds ? s - seconds : head_ + 1;
        for (std::int64_t k = from; k <= s; ++k) marks_[slot(k)] = now_;
        head_ = s;
        return head_ - first_ >= seconds;
    }
    // When the next second begins.
    double next_second() const { return double(head_ + 1); }

    std::uint64_t words() const {
        const Counts& m = window_start();
        const std::uint64_t bytes = now_.bytes - m.bytes, unused = now_.unused - m.unused;
        return bytes > unused ? (bytes - unused) / 5 : 0;
    }
    std::uint64_t parity_failures() const { return now_.parity - window_start().parity; }
    std::uint64_t sync_losses() const { return now_.sync - window_start().sync; }
    double percent() const {
        const std::uint64_t w = words();
        return w ? 100.0 * double(parity_failures()) / double(w) : 0;
    }

    void clear() { *this = ParityWindow{}; }

private:
    struct Counts {
        std::uint64_t bytes = 0, unused = 0, parity = 0, sync = 0;
    };
    // The mark at the start of the second 60 s before the newest.
    const Counts& window_start() const { return marks_[slot(head_ + 1)]; }
    static std::int64_t second_of(double t) {
        const auto s = std::int64_t(t);
        return double(s) > t ? s - 1 : s;  // down, before 1970 too
    }
    static std::size_t slot(std::int64_t second) {
        return std::size_t(((second % (seconds + 1)) + seconds + 1) % (seconds + 1));
    }

    Counts now_;  // as of the newest mark
    std::array<Counts, seconds + 1> marks_{};  // by second modulo 61
    std::int64_t first_ = 0;
    std::int64_t head_ = 0;
    std::uint32_t last_unused_ = 0;
    bool started_ = false;
};

}  // namespace tessaly::alarms::detail
