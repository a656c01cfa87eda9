#pragma once
// The received bytes as text for the raw data page: at most 15 lines, a new
// line begun once the last one holds 80 characters. One byte is one
// character, without translation.
#include <QString>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tessaly {

class RawLines {
public:
    static constexpr std::size_t line_limit = 80;

    RawLines() { clear(); }

    // Back to one empty line.
    void clear() {
        lines_.assign(1, std::string());
        shown_tail_ = 0;
    }

    // Appends to the last line; true when it now holds 80 or more characters.
    bool append(std::uint8_t b) {
        lines_.back().push_back(char(b));
        return lines_.back().size() >= line_limit;
    }
    bool append(std::string_view chunk) {
        lines_.back().append(chunk);
        return lines_.back().size() >= line_limit;
    }

    void new_line() { lines_.emplace_back(); }

    // Deletes the first line once when there are more than 15, then appends.
    void AddRawLine(std::string line);
    // Deletes first lines while there are 15 or more.
    void TrimRawLines();

    const std::deque<std::string>& lines() const { return lines_; }
    // The lines joined by line ends, each byte as the Latin-1 character.
    QString text() const;

    // The raw data page shows the lines as they were at the last mark (a
    // line completed or added): a line being filled shows once it is full.
    void mark_shown() { shown_tail_ = lines_.back().size(); }
    QString shown_text() const;

private:
    std::deque<std::string> lines_;
    std::size_t shown_tail_ = 0;  // characters of the last line shown
};

}  // namespace tessaly
