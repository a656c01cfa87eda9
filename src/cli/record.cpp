#include "record.h"

#include <unistd.h>

#include <iostream>

#include "byte_source.h"
#include "cli_alarms.h"
#include "recorder.h"
#include "stream_pipeline.h"

namespace tessaly::cli {

int record_stream(const Options& opt, RtcmDecoder& decoder, const SourceOptions& source, CliAlarms* alarms) {
    // As the storing dialog leaves it after Start.
    RecordingControl control;
    control.format = opt.format == Format::code ? StoreFormat::code : StoreFormat::text;
    control.all_types = opt.types.empty();
    for (std::uint8_t t : opt.types) control.select(t);
    control.storing_active = true;
    control.apply_pending = true;

    StoringFile file;
    std::string failure;
    Recorder recorder(control, file, [&](const std::string& e) {
        if (failure.empty()) failure = e;
    });
    decoder.set_storing_hook(&recorder);

    try {
        if (opt.output.empty()) file.attach(STDOUT_FILENO, "standard output");
        else file.open_append(opt.output);
        file.give_up_when(stop_requested);
        stream::StreamPipeline pipeline(decoder);
        pipeline.ais().on_problem = [](const std::string& line) { std::cerr << "tessaly-decode: " << line << "\n"; };
        const auto check = [&](const auto&) {
            if (!failure.empty()) throw StoringError(failure);  // stop at the first failure
        };
        const auto judge = [&](const stream::CompletedFrame& f) {
            if (alarms) alarms->frame(f);
        };
        const SourceEnd end = read_source(opt.source, [&](std::span<const std::uint8_t> chunk) {
            pipeline.feed(chunk, judge, check);
            if (alarms) alarms->poll();
            if (pipeline.take_sniffer_news())
                std::cerr << "tessaly-decode: " << StreamSniffer::message(pipeline.sniffer().kind()) << "\n";
            file.hand_over();  // standard output and pipes: once per chunk, whole frames
        }, source);
        pipeline.finish([&](const stream::CompletedFrame& f) {
            check(f);
            judge(f);
        });
        file.close();
        if (alarms) alarms->finish();
        if (end.how == SourceEnd::How::failed) {
            std::cerr << "tessaly-decode: " << end.error << "\n";
            return 1;
        }
    } catch (const StoringError& e) {
        std::cerr << "tessaly-decode: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace tessaly::cli
