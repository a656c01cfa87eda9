#include "char_realigner.h"

#include "rtcmdecw.h"

namespace tessaly {

namespace {

constexpr std::uint32_t preamble = 0x66;
constexpr unsigned zcount_limit = 6000;  // 3600 s in units of 0.6 s

// One word from five realigned characters, as the word layer builds it:
// the data bits complemented when D30* is set, then the parity checked.
// Returns the source data bits d1..d24 (bit k-1 = d(k)) and the word's own
// D29 and D30 for the next word.
struct Word {
    bool ok = false;
    std::uint32_t data = 0;
    bool d29 = false, d30 = false;
};

Word word_of(const std::uint8_t* c, bool d29_star, bool d30_star) {
    std::uint32_t r = 0;
    for (int k = 0; k < 5; ++k) r |= std::uint32_t(c[k] & 63u) << (6 * k);
    if (d30_star) r ^= 0xFFFFFFu;
    Word w;
    w.ok = parity_check(r, d29_star, d30_star);
    w.data = r & 0xFFFFFFu;
    w.d29 = (r >> 28) & 1u;
    w.d30 = (r >> 29) & 1u;
    return w;
}

// Data bits `first`..`first + n - 1` (1-based, d1 first) as a number.
unsigned field(std::uint32_t data, int first, int n) {
    unsigned v = 0;
    for (int k = first; k < first + n; ++k) v = (v << 1) | ((data >> (k - 1)) & 1u);
    return v;
}

}  // namespace

bool CharRealigner::search(Found& out) const {
    if (filled_ < history) return false;
    for (int k = 0; k < 6; ++k) {
        if (k == offset_) continue;
        std::array<std::uint8_t, max_replay> a{};
        bool built = false;
        // Two shapes end at the newest character: a frame with data words
        // (lead, header 1, header 2, data word 1) and one without (lead,
        // header 1, header 2).
        for (const std::size_t lead : {std::size_t(0), std::size_t(5)}) {
            // The search runs at every character while no frame is found:
            // the preamble, d1..d8 of header word 1 (complemented after a
            // D30* of 1), rules out almost every place before any word is
            // built, and leaves header word 1 only its parity to pass.
            // (0x66 reads the same from either end, so the bits can stand
            // with d1 lowest here.)
            const unsigned d1_to_8 = (realigned(k, lead + 1) & 63u) | (realigned(k, lead + 2) & 3u) << 6;
            if ((d1_to_8 ^ ((realigned(k, lead) >> 5) & 1u ? 0xFFu : 0u)) != preamble) continue;
            if (!built) {
                for (std::size_t m = 0; m < max_replay; ++m) a[m] = realigned(k, m);
                built = true;
            }
            const Word h1 = word_of(&a[lead + 1], (a[lead] >> 4) & 1u, (a[lead] >> 5) & 1u);
            if (!h1.ok) continue;
            const Word h2 = word_of(&a[lead + 6], h1.d29, h1.d30);
            if (!h2.ok || field(h2.data, 1, 13) >= zcount_limit) continue;
            const unsigned n = field(h2.data, 17, 5);
            if (lead == 0) {
                if (n == 0 || !word_of(&a[11], h2.d29, h2.d30).ok) continue;
            } else if (n != 0) {
                continue;
            }
            out.offset = k;
            out.count = max_replay - lead;
            for (std::size_t m = lead; m < max_replay; ++m) out.chars[m - lead] = a[m];
            return true;
        }
    }
    return false;
}

}  // namespace tessaly
