// tessaly-decode: the stream decoder without the window, on a file,
// standard input, a serial device, a TCP stream or an NTRIP mountpoint.

#include <fstream>
#include <iostream>
#include <memory>

#include "byte_source.h"
#include "command_line.h"
#include "json_output.h"
#include "options.h"
#include "record.h"
#include "rtcmdecw.h"
#include "stream_sniffer.h"
#include "summary.h"

using namespace tessaly;

int main(int argc, char** argv) {
    cli::Options opt;
    if (const auto done = cli::parse_options(arguments_of(argc, argv), opt)) return *done;
    if (!opt.sourcetable.empty()) return cli::print_sourcetable(opt.sourcetable, opt.format == cli::Format::json, std::cout);
    cli::install_stop_signals();
    FixedClock fixed;
    RtcmDecoder decoder;
    if (opt.clock) {
        fixed.set(*opt.clock);
        decoder.set_clock(fixed);
    }
    decoder.leapSeconds = opt.leap_seconds;
    decoder.rtcm_decoder_reset();
    cli::SourceOptions source_options{opt.reconnect, opt.baud, opt.silence_s, {}};
    source_options.on_outage = [](const cli::Outage& o) { std::cerr << "tessaly-decode: " << cli::outage_line(o) << "\n"; };
    if (opt.format == cli::Format::text || opt.format == cli::Format::code)
        return cli::record_stream(opt, decoder, source_options);

    std::ofstream file;
    if (!opt.output.empty()) {
        file.open(opt.output, std::ios::binary | std::ios::app);
        if (!file) {
            std::cerr << "tessaly-decode: cannot open " << opt.output << " for appending\n";
            return 1;
        }
    }
    std::ostream& out = opt.output.empty() ? std::cout : file;

    if (opt.format == cli::Format::json) {
        source_options.on_outage = [&out](const cli::Outage& o) {
            std::cerr << "tessaly-decode: " << cli::outage_line(o) << "\n";
            out << cli::outage_json(o) << '\n';
        };
    }
    cli::SummaryReport summary;
    StreamSniffer sniffer;
    const cli::SourceEnd end = cli::read_source(opt.source, [&](std::span<const std::uint8_t> chunk) {
        sniffer.feed(chunk.data(), chunk.size());
        if (sniffer.take_news()) std::cerr << "tessaly-decode: " << StreamSniffer::message(sniffer.kind()) << "\n";
        for (std::uint8_t b : chunk) {
            decoder.rtcm_decode_byte(b);
            summary.after_byte(decoder);
            if (opt.format == cli::Format::json && decoder.frame_completed) out << cli::frame_json(decoder) << '\n';
        }
    }, source_options);
    // What was decoded before a read error or a stop is written in full.
    if (end.how == cli::SourceEnd::How::failed) std::cerr << "tessaly-decode: " << end.error << "\n";
    if (opt.format == cli::Format::summary) {
        summary.write(out, decoder);
        // Apart from the RTCM 2 lines, so that those keep their meaning.
        for (const auto& [type, count] : sniffer.rtcm3_types()) out << "rtcm3 type " << type << ": " << count << "\n";
    }
    out.flush();
    if (!out) {
        std::cerr << "tessaly-decode: writing the output failed\n";
        return 1;
    }
    return end.how == cli::SourceEnd::How::failed ? 1 : 0;
}
