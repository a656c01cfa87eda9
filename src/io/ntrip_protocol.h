#pragma once
// The NTRIP client protocol without any I/O: the source URL, the request a
// client sends, the caster's answer read incrementally (status line,
// headers, chunked transfer) so that only stream bytes come out, and the
// NMEA GGA sentence a network mountpoint asks for. The Qt channel
// (ntrip_client.h) and tessaly-decode both drive it.
//
// Versions: NTRIP 1.0 asks `GET /MOUNT HTTP/1.0` and gets `ICY 200 OK`
// followed by the raw stream; NTRIP 2.0 asks with HTTP/1.1 and
// `Ntrip-Version: Ntrip/2.0` and gets `HTTP/1.1 200 OK`, usually with the
// body in chunks. A 1.0 caster asked for a mountpoint it does not have
// answers with its sourcetable instead of an error.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::ntrip {

enum class Version {
    automatic,  // 2.0 first, 1.0 when the caster answers as a 1.0 caster
    v1,
    v2,
};

constexpr int default_port = 2101;

// ntrip://[user[:password]@]host[:port]/MOUNT[?v=1|?v=2], or ntrips:// for
// TLS. An empty mountpoint names the caster itself (its sourcetable).
struct Url {
    bool tls = false;
    std::string user;
    std::string password;
    bool has_credentials = false;  // a user part was given (maybe empty)
    bool has_password = false;     // ... with a ':' and a password (maybe empty)
    std::string host;              // without the brackets of an IPv6 address
    int port = default_port;
    std::string mount;  // without the leading '/'
    Version version = Version::automatic;

    // "host:port/MOUNT": names the source in every text; never the password.
    std::string endpoint() const;
    // The URL again, with the password replaced by "***".
    std::string display() const;
};

// True when `text` starts with ntrip:// or ntrips://.
bool is_ntrip_url(std::string_view text);

// Parses a source URL; on failure returns nothing and sets `error` to one
// line naming the fault (without the password).
std::optional<Url> parse_url(std::string_view text, std::string& error);

// "NTRIP Tessaly/<version>": casters check the NTRIP prefix.
std::string user_agent();

std::string base64(std::string_view data);

// The request for the URL's mountpoint (or for the sourcetable when `mount`
// is empty) in the given version (v1 or v2; automatic means v2). A GGA
// sentence, when given, goes in an Ntrip-GGA header (2.0) or right after
// the request (1.0), as network mountpoints expect it.
std::string build_request(const Url& url, Version version, std::string_view gga = {});
std::string build_sourcetable_request(const Url& url, Version version);

// $GPGGA with a fix of quality 1 at the given position and UTC time of day,
// ending in its checksum and CR LF. Latitude and longitude in degrees
// (north and east positive), height above the ellipsoid in metres.
std::string gga_sentence(double latitude, double longitude, double height, int hour, int minute, double second);

// The body of an HTTP/1.1 answer in chunks: hexadecimal size, CR LF, data,
// CR LF, ... a chunk of size 0, optional trailer lines, an empty line.
// Chunk boundaries may fall anywhere, also across reads.
class ChunkedDecoder {
public:
    // Decodes `size` bytes, appending the body bytes to `out`. Returns the
    // number of input bytes taken: fewer than `size` only when the body
    // ended (done()) or the framing was broken (failed()).
    std::size_t feed(const std::uint8_t* data, std::size_t size, std::string& out);
    bool done() const { return state_ == State::done; }
    bool failed() const { return state_ == State::failed; }
    // Inside a chunk (its size line, data or closing CR LF): input that
    // ends here was cut off.
    bool mid_chunk() const {
        return state_ != State::size ? state_ != State::done && state_ != State::failed && state_ != State::trailer &&
                                           state_ != State::trailer_lf
                                     : size_digits_ > 0;
    }

private:
    enum class State { size, extension, size_lf, data, data_cr, data_lf, trailer, trailer_lf, done, failed };
    State state_ = State::size;
    std::uint64_t remaining_ = 0;
    int size_digits_ = 0;
    bool trailer_empty_ = true;
};

// The caster's answer to one request, read as it arrives.
class AnswerParser {
public:
    enum class Result {
        pending,       // the status line and headers are not complete yet
        stream,        // 200: stream bytes follow
        sourcetable,   // a sourcetable follows (to a mount request: no such mountpoint)
        unauthorized,  // 401
        not_found,     // 404
        http_error,    // another status; see status() and reason()
        not_ntrip,     // the answer is not NTRIP nor HTTP
    };

    // Feeds received bytes. Stream bytes are appended to `stream`, the
    // sourcetable's text to sourcetable(). Returns the result so far.
    Result feed(const std::uint8_t* data, std::size_t size, std::string& stream);
    Result feed(std::string_view data, std::string& stream) {
        return feed(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), stream);
    }

    // The connection ended: hands over bytes held back while telling
    // header lines from the stream.
    void end_of_input(std::string& stream);

    Result result() const { return result_; }
    // 1 for an ICY or SOURCETABLE answer (an NTRIP 1.0 caster), 2 for HTTP/1.1.
    int version() const { return version_; }
    int status() const { return status_; }
    const std::string& reason() const { return reason_; }  // the status line, for messages
    bool chunked() const { return chunked_; }
    // The sourcetable text so far (less what was taken); complete once
    // sourcetable_complete(). At most 8 MiB are held: beyond that
    // sourcetable_overflow() and the rest is dropped.
    const std::string& sourcetable() const { return table_; }
    bool sourcetable_complete() const { return table_done_; }
    bool sourcetable_overflow() const { return table_overflow_; }
    // Takes the whole lines held so far (all of the text once complete),
    // so that a table of any size is read a piece at a time.
    std::string take_sourcetable_lines();
    // The body ended by the framing (the last chunk); the stream is over.
    bool body_ended() const { return body_ended_; }
    // The chunked framing broke: the rest of the connection cannot be trusted.
    bool framing_failed() const { return chunks_.failed(); }
    // The input ended inside a chunk of the stream: the caster's end was
    // not a proper one (that is the chunk of size 0).
    bool body_cut() const { return result_ == Result::stream && chunked_ && !body_ended_ && chunks_.mid_chunk(); }
    // The header lines (after an HTTP status or "ICY 200 OK") ran past
    // 16 KiB: the answer was given up as not NTRIP.
    bool header_overflow() const { return header_overflow_; }

private:
    enum class Phase { status_line, headers, icy_extra, body };
    void parse_status_line(std::string_view line);
    void parse_header(std::string_view line);
    void finish_headers();
    void take_body(const std::uint8_t* data, std::size_t size, std::string& stream);
    void take_table(std::string_view text);

    Phase phase_ = Phase::status_line;
    Result result_ = Result::pending;
    std::string line_;
    std::size_t header_bytes_ = 0;
    int version_ = 0;
    int status_ = 0;
    std::string reason_;
    bool chunked_ = false;
    bool is_table_type_ = false;
    bool is_html_ = false;
    bool body_ended_ = false;
    bool header_overflow_ = false;
    ChunkedDecoder chunks_;
    std::string table_;
    bool table_done_ = false;
    bool table_overflow_ = false;
    std::string icy_pending_;
};

}  // namespace tessaly::ntrip
