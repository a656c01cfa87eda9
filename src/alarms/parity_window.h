#pragma once
// Words, parity failures and sync losses of the last 60 s of stream time,
// in one-second buckets, for the rule `parity`. The words are counted from
// what the pipeline and the decoder count anyway: a frame's share of the
// bytes less the characters taken into no word, five characters a word;
// nothing is added to the decoder's work per word. Internal to the engine.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace tessaly::alarms::detail {

class ParityWindow {
public:
    static constexpr int seconds = 60;

    // A frame's share at stream time `t`; true when the window's figures
    // changed in a way that may change the verdict (failures came or left).
    bool add(double t, std::uint64_t bytes, std::uint64_t unused, std::uint64_t parity, std::uint64_t sync) {
        const std::int64_t s = std::int64_t(std::floor(t));
        bool moved = false;
        if (!started_) {
            started_ = true;
            first_ = head_ = s;
        } else if (s > head_) {
            // The seconds that leave the window take their counts along.
            const std::int64_t steps = std::min<std::int64_t>(s - head_, seconds);
            for (std::int64_t k = 1; k <= steps; ++k) {
                Bucket& b = ring_[std::size_t((head_ + k) % seconds)];
                moved = moved || b.parity || b.sync;
                sum_.bytes -= b.bytes;
                sum_.unused -= b.unused;
                sum_.parity -= b.parity;
                sum_.sync -= b.sync;
                b = Bucket{};
            }
            head_ = s;
        }
        Bucket& b = ring_[std::size_t(head_ % seconds)];
        b.bytes += bytes;
        b.unused += unused;
        b.parity += parity;
        b.sync += sync;
        sum_.bytes += bytes;
        sum_.unused += unused;
        sum_.parity += parity;
        sum_.sync += sync;
        const bool now_full = head_ - first_ >= seconds;
        const bool became_full = now_full && !full_;
        full_ = now_full;
        return full_ && (moved || parity || sync || became_full);
    }

    // The window has seen a whole minute of the stream.
    bool full() const { return full_; }
    std::uint64_t words() const { return sum_.bytes > sum_.unused ? (sum_.bytes - sum_.unused) / 5 : 0; }
    std::uint64_t parity_failures() const { return sum_.parity; }
    std::uint64_t sync_losses() const { return sum_.sync; }
    double percent() const { return words() ? 100.0 * double(sum_.parity) / double(words()) : 0; }

    void clear() { *this = ParityWindow{}; }

private:
    struct Bucket {
        std::uint64_t bytes = 0, unused = 0, parity = 0, sync = 0;
    };
    std::array<Bucket, seconds> ring_{};
    Bucket sum_;
    std::int64_t first_ = 0;
    std::int64_t head_ = 0;
    bool started_ = false;
    bool full_ = false;
};

}  // namespace tessaly::alarms::detail
