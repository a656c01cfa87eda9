#pragma once
// The station list as the main server sends it: "$DGPS" lines, each ended by
// a carriage return, with ten semicolon-ended fields. Pure functions and
// plain records; the dialog (RTCM_U5.h) owns the channel and the lists.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

inline constexpr int max_stations = 100;

// One reference station of the downloaded list.
struct TServer {
    std::string station;  // field 3: designation
    std::string address;  // field 1: server carrying the station's stream
    std::string port;     // field 2
    std::string spare;
    std::string country;  // field 4: key of the country filter
    std::string info1, info2, info3, info4, info5;  // fields 5 to 9
    char running = '0';   // '1' running, '0' not running
    std::string spare2;
    bool operator==(const TServer&) const = default;
};

// The received "$DGPS" lines, numbered 1..count in arrival order, each as
// received (with its carriage return).
struct TServerdata {
    std::int32_t count = 0;
    std::array<std::string, max_stations> lines;
};

// A station from one "$DGPS" line; nothing when the line does not start with
// "$DGPS" or has fewer than eleven semicolons. A running character other
// than '0' and '1' counts as running and is kept as '1'.
std::optional<TServer> parse_station_line(std::string_view line);

// The list item: "+ " or "- ", the designation, the five infos, the running
// character and the (empty) spare2, separated by single blanks.
std::string station_item_text(const TServer& s);

// The list filter: the country box's text ("ALL" or a country, exact case)
// and, for a station that is not running, the "running stations only" box.
bool station_passes(const TServer& s, std::string_view country_text, bool running_only);

// The longest station line kept, "$DGPS" to carriage return. Ten fields of
// names, addresses and short texts stay far below it; a longer line is junk.
inline constexpr std::size_t max_station_line = 1024;

// The received text cut into station lines, one arrival at a time. A line
// runs from "$DGPS" to the first carriage return after it; text between lines
// is dropped. Memory stays bounded whatever the server sends: a line longer
// than max_station_line is dropped up to its carriage return, and of other
// text only the last max_station_line bytes wait (the login looks for its
// reply codes there). The lines and drops do not depend on how the text is
// cut into arrivals.
class StationLines {
public:
    // The complete lines that `piece` finishes, each with its carriage return.
    std::vector<std::string> take(std::string_view piece);
    // Received text that is not yet a line (a line's start, or other text).
    const std::string& pending() const { return pending_; }
    // Inside an over-long line, waiting for its carriage return.
    bool skipping() const { return skipping_; }
    // Over-long lines dropped since the last clear().
    std::size_t dropped() const { return dropped_; }
    // Forgets everything, memory included.
    void clear();

private:
    std::string pending_;
    bool skipping_ = false;
    std::size_t dropped_ = 0;
};

// The login on the accumulated text: one step per data event. Returns the
// command to send, if any, and advances `state` (1 awaiting the greeting,
// 2 user name sent, 3 password sent, 4 logged in).
std::optional<std::string> login_step(int& state, std::string_view text,
                                      std::string_view user, std::string_view password);

}  // namespace tessaly
