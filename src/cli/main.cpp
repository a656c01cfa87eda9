// tessaly-decode: the stream decoder without the window, on a file,
// standard input, a serial device, a TCP stream or an NTRIP mountpoint.

#include <iostream>
#include <memory>

#include "alarm_text.h"
#include "byte_source.h"
#include "cli_alarms.h"
#include "command_line.h"
#include "json_output.h"
#include "ntrip_login.h"
#include "options.h"
#include "output_file.h"
#include "record.h"
#include "sourcetable_output.h"
#include "rtcmdecw.h"
#include "stats_report.h"
#include "stream_sniffer.h"
#include "stream_pipeline.h"
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
    std::optional<credentials::Login> login;
    if (const std::string why = cli::resolve_login(opt.sourcetable.empty() ? opt.source : opt.sourcetable, opt.credentials, login);
        !why.empty()) {
        std::cerr << "tessaly-decode: " << why << "\n";
        return 2;
    }
    if (!opt.sourcetable.empty()) {
        cli::OutputFile file;
        if (!file.open(opt.output)) {
            std::cerr << "tessaly-decode: " << file.error() << "\n";
            return 1;
        }
        std::ostream out(&file);
        const int status = cli::print_sourcetable(opt.sourcetable, opt.format == cli::Format::json, out, login);
        if (!file.error().empty()) {
            std::cerr << "tessaly-decode: " << file.error() << "\n";
            return 1;
        }
        return status;
    }
    cli::install_stop_signals();
    FixedClock fixed;
    RtcmDecoder decoder;
    if (opt.clock) {
        fixed.set(*opt.clock);
        decoder.set_clock(fixed);
    }
    decoder.leapSeconds = opt.leap_seconds;
    decoder.rtcm_decoder_reset();
    cli::SourceOptions source_options{opt.reconnect, opt.baud, opt.silence_s, {}, {}, login};
    std::unique_ptr<cli::CliAlarms> watch;
    if (opt.alarms) {
        std::string error;
        watch = cli::CliAlarms::open(opt, error);
        if (!watch) {
            std::cerr << "tessaly-decode: " << error << "\n";
            return 2;
        }
        watch->expect_from_sourcetable(opt.source);
        source_options.on_tick = [&](UtcTime now) { watch->tick(now); };
    }
    // While the source is followed across outages, a failure is said at
    // once and again only when its reason changes (a wrong password is not
    // silent for the hours it lasts); the outage gets its line at its end.
    // Without --reconnect the one failure ends the run and is said then.
    std::string said;
    const auto tell = [&](const SourceEvent& e) {
        if (e.kind == SourceEvent::Kind::failed && opt.reconnect && e.reason != said) {
            said = e.reason;
            std::cerr << "tessaly-decode: " << e.reason << "; reconnecting\n";
        } else if (e.kind == SourceEvent::Kind::outage_end) {
            said.clear();
            std::cerr << "tessaly-decode: " << cli::outage_line(e.outage) << "\n";
        }
        if (watch) watch->source(e);
    };
    source_options.on_event = tell;
    if (opt.format == cli::Format::text || opt.format == cli::Format::code)
        return cli::record_stream(opt, decoder, source_options, watch.get());

    cli::OutputFile file;
    if (!file.open(opt.output)) {
        std::cerr << "tessaly-decode: " << file.error() << "\n";
        return 1;
    }
    std::ostream out(&file);
    // Thrown at the first failed write, to stop reading.
    struct OutputFailed {};

    cli::SummaryReport summary;
    // Statistics run on stream time: the frames' own times, so that a
    // recording gives the same lines however fast it is read.
    const bool with_stats = opt.format == cli::Format::stats || opt.stats;
    stream::StreamAxisStats stats(opt.interval);
    stream::StreamPipeline pipeline(decoder);
    // The lines of one input chunk, handed over together.
    const bool json = opt.format == cli::Format::json;
    std::string lines;
    const auto emit_interval = [&](const stats::Snapshot& s) {
        lines += opt.format == cli::Format::stats ? stats::interval_line(s) : stats::to_json(s, false);
        lines += '\n';
    };
    // What comes between chunks (ticks, the source's events) leaves at once.
    const auto hand_over = [&] {
        if (lines.empty()) return;
        out.write(lines.data(), std::streamsize(lines.size()));
        lines.clear();
        if (!out.flush()) throw OutputFailed{};
    };
    if (watch) {
        watch->to_output = [&](const alarms::Event& e) {
            if (json) lines += cli::alarm_json(e) + '\n';
            else if (opt.format == cli::Format::alarms) lines += alarms::event_line(e) + '\n';
            if (with_stats) stats.count_alarm(e.rule);
        };
        source_options.on_tick = [&](UtcTime now) {
            watch->tick(now);
            hand_over();
        };
    }
    source_options.on_event = [&](const SourceEvent& e) {
        tell(e);
        if (watch) hand_over();
        if (e.kind != SourceEvent::Kind::outage_end) return;
        const Outage& o = e.outage;
        if (json) out << cli::outage_json(o) << '\n';
        if (with_stats) stats.outage(utc_seconds(o.start), utc_seconds(o.end));
    };
    const auto take_frame = [&](const stream::CompletedFrame& f) {
        summary.frame_completed(f.decoder);
        if (json) {
            cli::append_frame_json(lines, f.decoder);
            lines += '\n';
        }
        if (with_stats) stats.frame(f, emit_interval);
        if (watch) watch->frame(f);
    };
    pipeline.ais().on_problem = [](const std::string& line) { std::cerr << "tessaly-decode: " << line << "\n"; };
    cli::SourceEnd end;
    try {
        end = cli::read_source(opt.source, [&](std::span<const std::uint8_t> chunk) {
            summary.count_bytes(chunk.size());
            pipeline.feed(chunk, take_frame);
            if (watch) watch->poll();
            if (pipeline.take_sniffer_news())
                std::cerr << "tessaly-decode: " << StreamSniffer::message(pipeline.sniffer().kind()) << "\n";
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
    pipeline.finish(take_frame);
    out << lines;
    lines.clear();
    // What was decoded before a read error or a stop is written in full.
    if (end.how == cli::SourceEnd::How::failed) std::cerr << "tessaly-decode: " << end.error << "\n";
    if (watch) watch->finish();
    if (opt.format == cli::Format::summary) {
        summary.write(out, decoder);
        if (watch) out << watch->summary_lines();
        // Apart from the RTCM 2 lines, so that those keep their meaning.
        for (const auto& [type, count] : pipeline.sniffer().rtcm3_types())
            out << "rtcm3 type " << type << ": " << count << "\n";
        if (pipeline.ais().counts().any()) cli::write_ais_summary(out, pipeline.ais().counts());
    }
    if (with_stats) {
        stats.finish(pipeline, emit_interval);
        out << lines;
        if (opt.format == cli::Format::stats) out << stats::final_block(stats.stats().total());
        else out << stats::to_json(stats.stats().total(), true) << '\n';
    }
    if (!out.flush()) {
        std::cerr << "tessaly-decode: " << file.error() << "\n";
        return 1;
    }
    return end.how == cli::SourceEnd::How::failed ? 1 : 0;
}
