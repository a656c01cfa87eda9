// Arbitrary bytes as a caster's answer, fed in pieces whose sizes the first
// byte picks, must give exactly what the same answer gives whole; likewise
// for the stream sniffer. The sourcetable text and the bytes themselves go
// through the sourcetable and URL parsers too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ntrip_protocol.h"
#include "ntrip_sourcetable.h"
#include "stream_sniffer.h"

using namespace tessaly::ntrip;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = std::size_t(data[0] % 7) + 1;
    ++data;
    --size;

    AnswerParser whole;
    std::string whole_stream;
    const auto result = whole.feed(data, size, whole_stream);
    whole.end_of_input(whole_stream);

    AnswerParser pieces;
    std::string piece_stream;
    for (std::size_t at = 0; at < size; at += step)
        pieces.feed(data + at, std::min(step, size - at), piece_stream);
    pieces.end_of_input(piece_stream);
    if (pieces.result() != result || piece_stream != whole_stream || pieces.sourcetable() != whole.sourcetable() ||
        pieces.body_ended() != whole.body_ended())
        std::abort();

    // Taking the table's whole lines as they come loses nothing.
    AnswerParser taking;
    std::string taken, taking_stream;
    for (std::size_t at = 0; at < size; at += step) {
        taking.feed(data + at, std::min(step, size - at), taking_stream);
        const std::string lines = taking.take_sourcetable_lines();
        if (!taking.sourcetable_complete() && !lines.empty() && lines.back() != '\n') std::abort();
        taken += lines;
    }
    if (!whole.sourcetable_overflow() && taken + taking.sourcetable() != whole.sourcetable()) std::abort();

    tessaly::StreamSniffer sniff_whole, sniff_pieces;
    sniff_whole.feed(data, size);
    for (std::size_t at = 0; at < size; at += step) sniff_pieces.feed(data + at, std::min(step, size - at));
    if (sniff_whole.kind() != sniff_pieces.kind() || sniff_whole.rtcm3_types() != sniff_pieces.rtcm3_types()) std::abort();

    const Sourcetable table = parse_sourcetable(whole.sourcetable());
    (void)rtcm2_first(table.streams);
    (void)parse_sourcetable(std::string_view(reinterpret_cast<const char*>(data), size));

    ChunkedDecoder chunks;
    std::string body;
    if (chunks.feed(data, size, body) > size) std::abort();

    std::string error;
    if (auto url = parse_url(std::string_view(reinterpret_cast<const char*>(data), size), error)) {
        if (url->port < 1 || url->port > 65535) std::abort();
        (void)build_request(*url, Version::v2, "$GPGGA");
        (void)url->display();
    }
    return 0;
}
