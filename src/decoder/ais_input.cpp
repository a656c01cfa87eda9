#include "ais_input.h"

#include <cstring>

namespace tessaly {

namespace {

bool printable(std::uint8_t b) { return b >= 0x20 && b <= 0x7E; }
bool hex_digit(std::uint8_t b) { return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f'); }

}  // namespace

void AisInput::reset() {
    state_ = State::text;
    line_.clear();
    held_.clear();
    assembler_.reset();
    counts_.dropped = assembler_.dropped();
    chain_ = WordChain{};
}

void AisInput::end_input() {
    held_.clear();
    if (state_ == State::prefix) held_.swap(line_);
    if (state_ == State::line || state_ == State::checksum) ++counts_.malformed;
    line_.clear();
    state_ = State::text;
    assembler_.reset();
    counts_.dropped = assembler_.dropped();
}

void AisInput::drop_line() {
    ++counts_.malformed;
    line_.clear();
    state_ = State::text;
}

// Bytes that end the splitter's look at a line are left for the next state
// to read again (a '!' starts the next sentence; anything else goes to the
// decoder), except the line ends of AIS lines, which are theirs.
AisInput::Piece AisInput::next_piece(std::span<const std::uint8_t> bytes, std::size_t& i) {
    const std::size_t n = bytes.size();
    while (i < n) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
            case State::text: {
                const void* bang = std::memchr(bytes.data() + i, '!', n - i);
                const std::size_t j = bang ? std::size_t(static_cast<const std::uint8_t*>(bang) - bytes.data()) : n;
                if (j > i) {
                    const Piece p{Piece::rest, i, j, 0};
                    i = j;
                    return p;
                }
                line_.assign(1, '!');
                state_ = State::prefix;
                ++i;
                break;
            }
            case State::prefix:
                line_ += char(b);
                if (!ais::could_start_sentence(line_)) {
                    // No AIS sentence: what was held back is the stream's.
                    line_.pop_back();
                    held_.swap(line_);
                    line_.clear();
                    state_ = State::text;
                    return {Piece::held, 0, 0, i};
                }
                ++i;
                if (line_.size() == ais::prefix_length) state_ = State::line;
                break;
            case State::line:
                if (b == '*') {
                    line_ += '*';
                    ++i;
                    tail_ = 0;
                    state_ = State::checksum;
                } else if (!printable(b) || b == '!' || line_.size() >= max_line) {
                    drop_line();
                    if (b == '\r' || b == '\n') ++i;
                    if (b == '\r') state_ = State::tail_cr;
                } else {
                    line_ += char(b);
                    ++i;
                }
                break;
            case State::checksum:
                if (!hex_digit(b)) {
                    drop_line();
                    break;
                }
                line_ += char(b);
                ++i;
                if (++tail_ < 2) break;
                tail_ = 0;
                state_ = State::tail;
                if (take_sentence()) return {Piece::frame, 0, 0, i - 1};
                break;
            case State::tail:
                // Right after the checksum: a line end, or the receiver's
                // own fields (",d-127,S1378,...") up to it.
                state_ = b == ',' ? State::metadata : b == '\r' ? State::tail_cr : State::text;
                if (b == ',' || b == '\r' || b == '\n') ++i;
                break;
            case State::tail_cr:
                if (b == '\n') ++i;
                state_ = State::text;
                break;
            case State::metadata:
                if (b == '\n' || b == '\r') {
                    ++i;
                    state_ = b == '\r' ? State::tail_cr : State::text;
                } else if (printable(b) && b != '!' && tail_ < max_tail) {
                    ++tail_;
                    ++i;
                } else {
                    state_ = State::text;
                }
                break;
        }
    }
    return {};
}

bool AisInput::take_sentence() {
    ais::Sentence s;
    const ais::SentenceStatus status = ais::parse_sentence(line_, s);
    if (status != ais::SentenceStatus::ok) {
        ++(status == ais::SentenceStatus::checksum ? counts_.checksum_failures : counts_.malformed);
        line_.clear();
        return false;
    }
    ++counts_.sentences;
    const bool whole = assembler_.take(s, message_);
    counts_.dropped = assembler_.dropped();
    line_.clear();
    if (!whole) return false;
    const unsigned type = message_.type();
    if (type >= counts_.types.size()) {  // fewer than six bits
        ++counts_.malformed;
        return false;
    }
    ++counts_.types[type];
    if (type != 17) return false;
    const ais::Dgnss what = ais::read_message_17(message_, m17_);
    if (what == ais::Dgnss::frame) {
        ++counts_.frames;
        encode_frame(m17_);
        return true;
    }
    if (what != ais::Dgnss::no_data) {  // a message without data is legal
        ++counts_.undecoded;
        if (on_problem) on_problem(ais::problem_text(m17_, what));
    }
    return false;
}

void AisInput::encode_frame(const ais::Message17& m) {
    frame_stars_ = unsigned(chain_.d29()) << 1 | unsigned(chain_.d30());
    frame_.clear();
    chain_.append(m.header1, frame_);
    chain_.append(m.header2, frame_);
    for (const std::uint32_t w : m.words) chain_.append(w, frame_);
    carrier_ = frame_carrier_type{true, m.mmsi, m.has_position(), m.lon, m.lat};
}

}  // namespace tessaly
