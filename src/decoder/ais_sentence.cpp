#include "ais_sentence.h"

#include <algorithm>

namespace tessaly::ais {

namespace {

bool upper(char c) { return c >= 'A' && c <= 'Z'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

int hex(char c) {
    if (digit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The armouring: '0'..'W' carry 0..39, '`'..'w' carry 40..63.
int unarmour(char c) {
    if (c >= '0' && c <= 'W') return c - '0';
    if (c >= '`' && c <= 'w') return c - '`' + 40;
    return -1;
}

// A field of one digit in [lo, hi], or `empty` when the field is empty.
bool one_digit(std::string_view f, int lo, int hi, int empty, int& out) {
    if (f.empty()) {
        out = empty;
        return empty >= lo || empty == -1;
    }
    if (f.size() != 1 || !digit(f[0])) return false;
    out = f[0] - '0';
    return out >= lo && out <= hi;
}

}  // namespace

bool could_start_sentence(std::string_view head) {
    static constexpr std::string_view shape = "!ttVD?,";
    for (std::size_t i = 0; i < head.size() && i < shape.size(); ++i) {
        const char c = head[i];
        const bool fits = shape[i] == 't'   ? upper(c)
                          : shape[i] == '?' ? c == 'M' || c == 'O'
                                            : c == shape[i];
        if (!fits) return false;
    }
    return true;
}

SentenceStatus parse_sentence(std::string_view line, Sentence& out) {
    if (line.size() < prefix_length + 3 || !could_start_sentence(line.substr(0, prefix_length)) ||
        line[line.size() - 3] != '*')
        return SentenceStatus::malformed;
    const int hi = hex(line[line.size() - 2]), lo = hex(line[line.size() - 1]);
    if (hi < 0 || lo < 0) return SentenceStatus::malformed;
    const std::string_view body = line.substr(1, line.size() - 4);
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    if (sum != unsigned(hi * 16 + lo)) return SentenceStatus::checksum;

    // Talker and type, count, number, sequential id, channel, payload, fill.
    std::array<std::string_view, 7> f;
    std::size_t n = 0, start = 0;
    for (std::size_t i = 0; i <= body.size(); ++i) {
        if (i < body.size() && body[i] != ',') continue;
        if (n == f.size()) return SentenceStatus::malformed;
        f[n++] = body.substr(start, i - start);
        start = i + 1;
    }
    if (n != f.size()) return SentenceStatus::malformed;
    Sentence s;
    if (!one_digit(f[1], 1, 9, 0, s.count) || !one_digit(f[2], 1, s.count, 0, s.number) ||
        !one_digit(f[3], 0, 9, -1, s.sequence) || !one_digit(f[6], 0, 5, 0, s.fill) || f[4].size() > 1 || f[5].empty())
        return SentenceStatus::malformed;
    if (!std::all_of(f[5].begin(), f[5].end(), [](char c) { return unarmour(c) >= 0; })) return SentenceStatus::malformed;
    s.channel = f[4].empty() ? '\0' : f[4][0];
    s.payload = f[5];
    out = s;
    return SentenceStatus::ok;
}

bool Message::append(std::string_view armoured) {
    const std::size_t before = six_.size();
    for (const char c : armoured) {
        const int v = unarmour(c);
        if (v < 0) {
            six_.resize(before);
            bits_ = 6 * before;
            return false;
        }
        six_.push_back(std::uint8_t(v));
    }
    bits_ = 6 * six_.size();
    return true;
}

void Message::set_fill(int fill) { bits_ = 6 * six_.size() - std::min<std::size_t>(std::size_t(fill), 6 * six_.size()); }

void Message::clear() {
    six_.clear();
    bits_ = 0;
}

std::uint32_t Message::u(std::size_t at, int n) const {
    std::uint32_t v = 0;
    for (int k = 0; k < n; ++k, ++at) {
        const unsigned bit = at < bits_ ? (six_[at / 6] >> (5 - at % 6)) & 1u : 0u;
        v = v << 1 | bit;
    }
    return v;
}

std::int32_t Message::s(std::size_t at, int n) const {
    const std::uint32_t v = u(at, n);
    const std::uint32_t sign = 1u << (n - 1);
    return std::int32_t(v ^ sign) - std::int32_t(sign);
}

void Assembler::reset() {
    for (const auto& p : pending_)
        if (p.used) dropped_ += unsigned(p.next - 1);
    pending_ = {};
    clock_ = 0;
}

Assembler::Pending* Assembler::find(int sequence, char channel) {
    for (auto& p : pending_)
        if (p.used && p.sequence == sequence && p.channel == channel) return &p;
    return nullptr;
}

// A free slot; when none is, the oldest message's slot, that message lost.
Assembler::Pending& Assembler::free_slot() {
    Pending* oldest = &pending_[0];
    for (auto& p : pending_) {
        if (!p.used) return p;
        if (p.born < oldest->born) oldest = &p;
    }
    dropped_ += unsigned(oldest->next - 1);
    *oldest = Pending{};
    return *oldest;
}

void Assembler::expire() {
    for (auto& p : pending_)
        if (p.used && clock_ - p.born > max_age) {
            dropped_ += unsigned(p.next - 1);
            p = Pending{};
        }
}

bool Assembler::take(const Sentence& s, Message& out) {
    ++clock_;
    expire();
    if (s.count == 1) {
        out.clear();
        out.append(s.payload);
        out.set_fill(s.fill);
        return true;
    }
    Pending* p = find(s.sequence, s.channel);
    if (s.number == 1) {
        if (p) {  // the same id again before its message ended: that one is lost
            dropped_ += unsigned(p->next - 1);
            *p = Pending{};
        }
        Pending& fresh = free_slot();
        fresh = Pending{true, s.sequence, s.channel, s.count, 2, clock_, std::string(s.payload)};
        return false;
    }
    if (!p || p->count != s.count || p->next != s.number) {
        if (p) {
            dropped_ += unsigned(p->next - 1);
            *p = Pending{};
        }
        ++dropped_;
        return false;
    }
    p->payload += s.payload;
    if (++p->next <= p->count) return false;
    out.clear();
    out.append(p->payload);
    out.set_fill(s.fill);
    *p = Pending{};
    return true;
}

Dgnss read_message_17(const Message& m, Message17& out) {
    out = Message17{};
    out.mmsi = m.u(8, 30);
    if (m.bits() < 80) return Dgnss::truncated;
    out.lon = m.s(40, 18);
    out.lat = m.s(58, 17);
    out.data_bits = m.bits() - 80;
    if (out.data_bits == 0) return Dgnss::no_data;
    if (out.data_bits < 40) return Dgnss::short_header;
    if ((out.data_bits - 40) % 24 != 0) return Dgnss::partial_word;
    out.header1 = 0x660000u | m.u(80, 16);
    out.header2 = m.u(96, 24);
    const std::size_t words = (out.data_bits - 40) / 24;
    if (words != out.declared_words()) return Dgnss::wrong_length;
    out.words.resize(words);
    for (std::size_t i = 0; i < words; ++i) out.words[i] = m.u(120 + 24 * i, 24);
    return Dgnss::frame;
}

std::string problem_text(const Message17& m, Dgnss why) {
    std::string s = "AIS message 17 from MMSI " + std::to_string(m.mmsi) + ": ";
    const std::string bits = std::to_string(m.data_bits) + " bits, ";
    switch (why) {
        case Dgnss::truncated: return s + "cut short before its DGNSS data";
        case Dgnss::short_header: return s + bits + "shorter than the 40-bit RTCM 2 header";
        case Dgnss::partial_word: return s + bits + "not a whole number of words";
        case Dgnss::wrong_length:
            return s + std::to_string((m.data_bits - 40) / 24) + " words where its header declares " +
                   std::to_string(m.declared_words());
        case Dgnss::frame:
        case Dgnss::no_data: break;
    }
    return {};
}

}  // namespace tessaly::ais
