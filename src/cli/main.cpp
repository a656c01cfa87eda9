// tessaly-decode: the stream decoder without the window, on a file,
// standard input, a serial device, a TCP stream or an NTRIP mountpoint.

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>

#include "ais_input.h"
#include "byte_source.h"
#include "command_line.h"
#include "json_output.h"
#include "options.h"
#include "output_file.h"
#include "record.h"
#include "rtcmdecw.h"
#include "stats_report.h"
#include "stream_sniffer.h"
#include "stream_stats.h"
#include "summary.h"

using namespace tessaly;

int main(int argc, char** argv) {
    cli::Options opt;
    if (const auto done = cli::parse_options(arguments_of(argc, argv), opt)) return *done;
    if (const std::string why = cli::output_is_input(opt); !why.empty()) {
        std::cerr << "tessaly-decode: " << why << "\n";
        return 2;
    }
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

    cli::OutputFile file;
    if (!file.open(opt.output)) {
        std::cerr << "tessaly-decode: " << file.error() << "\n";
        return 1;
    }
    std::ostream out(&file);
    // Thrown at the first failed write, to stop reading.
    struct OutputFailed {};

    cli::SummaryReport summary;
    // Statistics run on stream time: the frames' Z-count times, carried on
    // across midnight, so that a recording gives the same lines however
    // fast it is read.
    const bool with_stats = opt.format == cli::Format::stats || opt.stats;
    stats::StreamStats stats(opt.interval);
    bool stats_started = false;
    double day = 0, axis = 0;
    std::uint64_t bytes_since_frame = 0;
    // The lines of one input chunk, handed over together.
    const bool json = opt.format == cli::Format::json;
    std::string lines;
    const auto emit_interval = [&](const stats::Snapshot& s) {
        lines += opt.format == cli::Format::stats ? stats::interval_line(s) : stats::to_json(s, false);
        lines += '\n';
    };
    const auto count_frame = [&] {
        double t = decoder.header.frame_time + day;
        if (stats_started && t < axis - 43200) {
            day += 86400;
            t += 86400;
        }
        if (!stats_started) {
            stats.reset(t);
            stats_started = true;
        } else if (stats.interval_due(t)) {
            emit_interval(stats.close_interval(t));
        }
        axis = std::max(axis, t);
        stats.add_bytes(bytes_since_frame, t);
        bytes_since_frame = 0;
        stats.set_decoder_counters(decoder.parity_failures, decoder.sync_losses, decoder.unused_chars, t);
        stats.add_frame(stats::completed_frame(decoder), t);
    };
    source_options.on_outage = [&](const cli::Outage& o) {
        std::cerr << "tessaly-decode: " << cli::outage_line(o) << "\n";
        if (opt.format == cli::Format::json) out << cli::outage_json(o) << '\n';
        const auto seconds = [](auto t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); };
        if (with_stats) stats.record_outage(seconds(o.start), seconds(o.end));
    };
    StreamSniffer sniffer;
    AisInput ais;
    ais.on_problem = [](const std::string& line) { std::cerr << "tessaly-decode: " << line << "\n"; };
    const auto take_frame = [&] {
        summary.frame_completed(decoder);
        if (json) {
            cli::append_frame_json(lines, decoder);
            lines += '\n';
        }
        if (with_stats) count_frame();
    };
    cli::SourceEnd end;
    try {
        end = cli::read_source(opt.source, [&](std::span<const std::uint8_t> chunk) {
            sniffer.feed(chunk.data(), chunk.size());
            if (sniffer.take_news()) std::cerr << "tessaly-decode: " << StreamSniffer::message(sniffer.kind()) << "\n";
            summary.count_bytes(chunk.size());
            std::size_t counted = 0;  // bytes of the chunk in bytes_since_frame
            ais.decode(decoder, chunk, [&](std::size_t i) {
                if (!decoder.frame_completed) return;
                bytes_since_frame += i + 1 - counted;
                counted = i + 1;
                take_frame();
            });
            bytes_since_frame += chunk.size() - counted;
            // Each chunk's output leaves at once, in one piece: a live
            // stream's lines are not held back, and a failing output stops
            // the run here.
            if (!lines.empty()) {
                out.write(lines.data(), std::streamsize(lines.size()));
                lines.clear();
            }
            if (!out.flush()) throw OutputFailed{};
        }, source_options);
    } catch (const OutputFailed&) {
        std::cerr << "tessaly-decode: " << file.error() << "\n";
        return 1;
    }
    ais.finish(decoder, [&] {
        if (decoder.frame_completed) take_frame();
    });
    out << lines;
    lines.clear();
    // What was decoded before a read error or a stop is written in full.
    if (end.how == cli::SourceEnd::How::failed) std::cerr << "tessaly-decode: " << end.error << "\n";
    if (opt.format == cli::Format::summary) {
        summary.write(out, decoder);
        // Apart from the RTCM 2 lines, so that those keep their meaning.
        for (const auto& [type, count] : sniffer.rtcm3_types()) out << "rtcm3 type " << type << ": " << count << "\n";
        if (ais.counts().any()) cli::write_ais_summary(out, ais.counts());
    }
    if (with_stats) {
        if (!stats_started) stats.reset(0);
        stats.add_bytes(bytes_since_frame, axis);
        stats.set_decoder_counters(decoder.parity_failures, decoder.sync_losses, decoder.unused_chars, axis);
        if (stats.interval().bytes || stats.interval().frames) emit_interval(stats.close_interval(axis));
        out << lines;
        if (opt.format == cli::Format::stats) out << stats::final_block(stats.total());
        else out << stats::to_json(stats.total(), true) << '\n';
    }
    if (!out.flush()) {
        std::cerr << "tessaly-decode: " << file.error() << "\n";
        return 1;
    }
    return end.how == cli::SourceEnd::How::failed ? 1 : 0;
}
