// tessaly-decode: the stream decoder without the window, on a file,
// standard input or a TCP stream.

#include <fstream>
#include <iostream>
#include <memory>

#include "byte_source.h"
#include "command_line.h"
#include "json_output.h"
#include "options.h"
#include "record.h"
#include "rtcmdecw.h"
#include "summary.h"

using namespace tessaly;

int main(int argc, char** argv) {
    cli::Options opt;
    if (const auto done = cli::parse_options(arguments_of(argc, argv), opt)) return *done;
    FixedClock fixed;
    RtcmDecoder decoder;
    if (opt.clock) {
        fixed.set(*opt.clock);
        decoder.set_clock(fixed);
    }
    decoder.leapSeconds = opt.leap_seconds;
    decoder.rtcm_decoder_reset();
    if (opt.format == cli::Format::text || opt.format == cli::Format::code)
        return cli::record_stream(opt, decoder);

    std::ofstream file;
    if (!opt.output.empty()) {
        file.open(opt.output, std::ios::binary | std::ios::app);
        if (!file) {
            std::cerr << "tessaly-decode: cannot open " << opt.output << " for appending\n";
            return 1;
        }
    }
    std::ostream& out = opt.output.empty() ? std::cout : file;

    cli::SummaryReport summary;
    const bool json = opt.format == cli::Format::json;
    std::string lines;  // the JSON lines of one chunk, handed over together
    const std::string error = cli::read_source(opt.source, [&](std::span<const std::uint8_t> chunk) {
        summary.count_bytes(chunk.size());
        decoder.rtcm_decode(chunk, [&] {
            if (!decoder.frame_completed) return;
            summary.frame_completed(decoder);
            if (json) {
                lines += cli::frame_json(decoder);
                lines += '\n';
            }
        });
        if (!lines.empty()) {
            out.write(lines.data(), std::streamsize(lines.size()));
            out.flush();
            lines.clear();
        }
    });
    if (!error.empty()) {
        std::cerr << "tessaly-decode: " << error << "\n";
        return 1;
    }
    if (opt.format == cli::Format::summary) summary.write(out, decoder);
    out.flush();
    if (!out) {
        std::cerr << "tessaly-decode: writing the output failed\n";
        return 1;
    }
    return 0;
}
