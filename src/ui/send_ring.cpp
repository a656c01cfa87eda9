#include "send_ring.h"

namespace tessaly {

void Tsend_buffer::reset() {
    inIndex = 0;
    outIndex = 0;
    busy = false;
    pending_ = 0;
    overflow_.clear();
}

void Tsend_buffer::store(std::string chunk) {
    if (pending_ == entry_count || !overflow_.empty()) {
        overflow_.push_back(std::move(chunk));
        return;
    }
    inIndex = next(inIndex);
    entries_[std::size_t(inIndex - 1)] = std::move(chunk);
    ++pending_;
}

void Tsend_buffer::drain(const std::function<void(const std::string&)>& write) {
    if (busy) return;
    busy = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{busy};
    while (pending_ > 0) {
        outIndex = next(outIndex);
        --pending_;
        write(entries_[std::size_t(outIndex - 1)]);
        // Entries freed: the oldest overflow chunks move up into the ring.
        while (!overflow_.empty() && pending_ < entry_count) {
            inIndex = next(inIndex);
            entries_[std::size_t(inIndex - 1)] = std::move(overflow_.front());
            overflow_.pop_front();
            ++pending_;
        }
    }
}

void Tsend_buffer::discard() {
    outIndex = inIndex;
    pending_ = 0;
    overflow_.clear();
}

}  // namespace tessaly
