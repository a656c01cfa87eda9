#pragma once
// A reusable character buffer that texts are written into through a raw
// pointer: the writer takes a large room once, checks once per line (or per
// record) that enough of it is left for all of that line, writes without
// further checks, and hands back the end.
// The layouts of the storing file and of the JSON build every frame here,
// so that a frame costs no allocation and no check per field.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tessaly {

class TextBuffer {
public:
    // Room for at least `n` characters from the end of the text; the
    // pointer holds until the next room().
    [[gnu::always_inline]] char* room(std::size_t n) {
        if (store_.size() - used_ < n) store_.resize(std::max(store_.size() * 2, used_ + n));
        return store_.data() + used_;
    }
    // The end of the room that the last room() gave: at least `n` past its
    // pointer, often more.
    char* room_end() { return store_.data() + store_.size(); }
    // The text now ends at `end`, a pointer into the last room().
    void commit(const char* end) { used_ = std::size_t(end - store_.data()); }
    void clear() { used_ = 0; }
    std::string_view view() const { return {store_.data(), used_}; }

private:
    std::string store_;  // its whole size is writable; the text is the first used_
    std::size_t used_ = 0;
};

// The texts last written in a column whose values repeat (times of
// measurement, error bounds from a table), a few values at a time: the same
// bits give the same bytes, copied instead of formatted again.
class NumberMemo {
public:
    // The text of `value` written at `p` by `put(p, value)`, or copied when
    // this value was written before; the room beyond the text must hold 32
    // characters more. Returns the end of the text.
    template <class Put>
    [[gnu::always_inline]] char* put(char* p, double value, Put put) {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        Entry& e = entries_[(bits * 0x9E3779B97F4A7C15ULL) >> 59];
        if (e.len != 0 && e.bits == bits) {
            std::memcpy(p, e.text.data(), e.text.size());
            return p + e.len;
        }
        char* const end = put(p, value);
        const auto len = std::size_t(end - p);
        if (len <= e.text.size()) {
            e.bits = bits;
            e.len = len;
            std::memcpy(e.text.data(), p, e.text.size());
        }
        return end;
    }

private:
    struct Entry {
        std::uint64_t bits = 0;
        std::size_t len = 0;  // 0: nothing kept yet
        std::array<char, 32> text{};
    };
    std::array<Entry, 32> entries_;
};

// The texts last written for records whose fields repeat from one frame to
// the next (a satellite's number, flags and error bounds), one per record
// slot: the same key, holding every field that the text shows, gives the
// same bytes.
template <std::size_t Size>
class PieceMemo {
public:
    using Key = std::array<std::uint64_t, 3>;

    // The text that `write(p)` writes at p, or the one kept for `key` in
    // `slot` (any number; slots are reused); the room beyond the text must
    // hold Size characters more. Returns the end of the text.
    template <class Write>
    [[gnu::always_inline]] char* put(char* p, std::size_t slot, const Key& key, Write write) {
        Entry& e = entries_[slot % entries_.size()];
        if (e.len != 0 && e.key == key) {
            std::memcpy(p, e.text.data(), Size);
            return p + e.len;
        }
        char* const end = write(p);
        const auto len = std::size_t(end - p);
        if (len <= Size) {
            e.key = key;
            e.len = len;
            std::memcpy(e.text.data(), p, Size);
        }
        return end;
    }

private:
    struct Entry {
        Key key{};
        std::size_t len = 0;  // 0: nothing kept yet
        std::array<char, Size> text{};
    };
    std::array<Entry, 256> entries_;
};

}  // namespace tessaly
