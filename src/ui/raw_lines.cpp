#include "raw_lines.h"

#include <algorithm>

namespace tessaly {

void RawLines::AddRawLine(std::string line) {
    if (lines_.size() > 15) lines_.pop_front();
    lines_.push_back(std::move(line));
}

void RawLines::TrimRawLines() {
    while (lines_.size() >= 15) lines_.pop_front();
}

QString RawLines::text() const {
    QString out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i) out += QLatin1Char('\n');
        out += QLatin1String(lines_[i].data(), qsizetype(lines_[i].size()));
    }
    return out;
}

QString RawLines::shown_text() const {
    QString out = text();
    out.chop(qsizetype(lines_.back().size() - std::min(shown_tail_, lines_.back().size())));
    return out;
}

}  // namespace tessaly
