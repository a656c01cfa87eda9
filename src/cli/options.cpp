#include "options.h"

#include <algorithm>
#include <charconv>

#include "command_line.h"
#include "recorder.h"

namespace tessaly::cli {

namespace {

const char* const description =
    "Decodes a raw RTCM SC-104 version 2 byte stream from a file, standard\n"
    "input, a serial device, a TCP connection or an NTRIP caster, without a\n"
    "window. SIGINT and SIGTERM end a run cleanly: the output so far is\n"
    "complete and the summary is written.";

const char* const epilogue =
    "Formats:\n"
    "  text     The decoded text blocks, exactly as storing in \"Text Format\n"
    "           (decoded)\" writes them.\n"
    "  code     The frames' characters, exactly as storing in \"RTCM Code\n"
    "           (valid only)\" writes them.\n"
    "  summary  Counts at the end: bytes, unused_chars, frames,\n"
    "           parity_failures, sync_losses, frames per type and the\n"
    "           station ids in order of appearance.\n"
    "  json     One JSON object per line for every completed frame: its\n"
    "           header and the content it delivered.\n"
    "  stats    A line of statistics per interval (--interval) and a\n"
    "           closing block: bytes, frames per type, parity failures,\n"
    "           sync losses, latency per type, missed frames, stations.\n"
    "  alarms   Only the alarm events, one line each (implies --alarms):\n"
    "           TIME begin|end RULE alarm|notice station N SOURCE: DETAIL\n"
    "\n"
    "Passwords (a password in the URL is seen by every user in ps):\n"
    "  --credentials FILE      One USER:PASSWORD per line ('#' starts a\n"
    "                          comment), readable by its owner only (mode\n"
    "                          0600): the line of the user the URL names,\n"
    "                          or the only line.\n"
    "  TESSALY_NTRIP_PASSWORD  In the environment: the password of the\n"
    "                          user the URL names (ntrip://USER@HOST/MOUNT)\n"
    "                          when neither the URL nor --credentials gives\n"
    "                          one.\n"
    "\n"    "Exit status: 0 done (also when stopped by SIGINT or SIGTERM), 1 the\n"
    "source could not be read or the output not written (the summary is\n"
    "written all the same), 2 usage error, an output that is the input, or\n"
    "a credentials file that is refused.\n";

bool parse_int(const std::string& text, int& out) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    auto [ptr, ec] = std::from_chars(begin, end, out);
    return ec == std::errc{} && ptr == end && begin != end;
}

// The types of the storing dialog's check boxes, and nothing else.
bool parse_types(const std::string& list, std::vector<std::uint8_t>& out, std::string& error) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = list.find(',', from);
        const std::string item = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const auto* t = std::find_if(selectable_types.begin(), selectable_types.end(),
                                     [&](std::uint8_t v) { return std::to_string(v) == item; });
        if (t == selectable_types.end()) {
            error = "bad --types value '" + item + "': choose from 1, 2, 3, 9, 16, 18, 19, 20, 21";
            return false;
        }
        out.push_back(*t);
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

}  // namespace

std::optional<int> parse_options(const QStringList& args, Options& out) {
    CommandLine cl(QStringLiteral("tessaly-decode"), QStringLiteral("[options] [SOURCE]"), description, epilogue);
    const QCommandLineOption format(QStringLiteral("format"),
                                    "What to print: text (the default), code,\n"
                                    "summary, json, stats or alarms; see Formats\n"
                                    "below.",
                                    QStringLiteral("F"));
    const QCommandLineOption types(QStringLiteral("types"),
                                   "text and code: store only these types, a\n"
                                   "comma-separated list of 1, 2, 3, 9, 16, 18, 19,\n"
                                   "20, 21 (default: all types)",
                                   QStringLiteral("LIST"));
    const QCommandLineOption clock(QStringLiteral("clock"),
                                   "Use this UTC date and time\n"
                                   "(YYYY-MM-DDTHH:MM:SS[.mmm]Z, exactly: the Z\n"
                                   "always, three decimals or none) instead of the\n"
                                   "system clock; the hour of every frame and its\n"
                                   "latency are taken from it.",
                                   QStringLiteral("T"));
    const QCommandLineOption leap(QStringLiteral("leap"), "GPS time minus UTC in seconds (default 18).",
                                  QStringLiteral("N"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      "stats and json --stats: seconds of stream time\n"
                                      "(the frames' Z-counts) per interval (default 60).",
                                      QStringLiteral("S"));
    const QCommandLineOption statsOption(QStringLiteral("stats"),
                                         "json: also a statistics object (\"class\":\"STATS\")\n"
                                         "per interval and a closing one.");
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    "Append the output to FILE (created if absent);\n"
                                    "text and code write it through after every\n"
                                    "frame, as storing does. The input file itself\n"
                                    "is refused as output.",
                                    QStringLiteral("FILE"));
    const QCommandLineOption reconnect(QStringLiteral("reconnect"),
                                       "Follow a live source (tcp://, ntrip://, a serial\n"
                                       "device) across outages: try again after 1, 2,\n"
                                       "4 ... 256 s, one line on standard error per\n"
                                       "outage (an OUTAGE object in --format json).");
    const QCommandLineOption baud(QStringLiteral("baud"), "Serial devices: bits per second (default 9600).",
                                  QStringLiteral("N"));
    const QCommandLineOption silence(QStringLiteral("silence"),
                                     "Live sources: give up a connection that\n"
                                     "brings nothing for N seconds (default 20;\n"
                                     "0: wait for ever).",
                                     QStringLiteral("N"));
    const QCommandLineOption sourcetable(QStringLiteral("sourcetable"),
                                         "Print the mountpoints of the NTRIP caster at\n"
                                         "URL (ntrip://HOST[:PORT]), one line each: name,\n"
                                         "format, details, country, latitude, longitude,\n"
                                         "nmea, identifier; RTCM 2 ones first. With\n"
                                         "--format json one object each. Then exit.",
                                         QStringLiteral("URL"));
    const QCommandLineOption credentials(QStringLiteral("credentials"),
                                         "NTRIP: the user and password from FILE instead\n"
                                         "of the URL (see Passwords below).",
                                         QStringLiteral("FILE"));
    const QCommandLineOption alarms(QStringLiteral("alarms"),
                                    "Judge the stream by the alarm rules (defaults,\n"
                                    "or --rules): a line on standard error per alarm\n"
                                    "that begins or ends (an ALARM object in --format\n"
                                    "json); the summary and statistics count them.");
    const QCommandLineOption rules(QStringLiteral("rules"),
                                   "The alarm rules from FILE (INI: a [section] per\n"
                                   "rule with limit, fail, recover, enabled); implies\n"
                                   "--alarms.",
                                   QStringLiteral("FILE"));
    const QCommandLineOption onEvent(QStringLiteral("on-event"),
                                     "Run COMMAND for every alarm event, with rule,\n"
                                     "begin or end, time, source, station, detail and\n"
                                     "severity as its last arguments (no shell; at\n"
                                     "most 4 at once, each ended after 10 s); implies\n"
                                     "--alarms.",
                                     QStringLiteral("COMMAND"));
    cl.parser.addOptions({format, types, clock, leap, output, interval, statsOption, reconnect, baud, silence, sourcetable,
                          credentials, alarms, rules, onEvent});
    cl.parser.addPositionalArgument(QStringLiteral("SOURCE"),
                                    "A file, '-' for standard input (the default),\n"
                                    "a serial device (/dev/ttyUSB0), tcp://HOST:PORT,\n"
                                    "or ntrip://[USER[:PASSWORD]@]HOST[:PORT]/MOUNT\n"
                                    "(ntrips:// for TLS; ?v=1 or ?v=2 forces the\n"
                                    "NTRIP version, default 2.0 then 1.0). Live\n"
                                    "sources are read until the peer ends them.");
    if (const auto done = cl.parse(args)) return done;
    const QCommandLineParser& p = cl.parser;

    if (p.isSet(format)) {
        const QString v = p.value(format);
        if (v == QLatin1String("summary")) out.format = Format::summary;
        else if (v == QLatin1String("json")) out.format = Format::json;
        else if (v == QLatin1String("text")) out.format = Format::text;
        else if (v == QLatin1String("code")) out.format = Format::code;
        else if (v == QLatin1String("stats")) out.format = Format::stats;
        else if (v == QLatin1String("alarms")) out.format = Format::alarms;
        else return cl.fail("unknown format '" + v + "' (known: text, code, json, summary, stats, alarms)");
    }
    // Every occurrence counts, in order, as the options always did.
    for (const QString& v : p.values(types)) {
        std::string error;
        if (!parse_types(v.toStdString(), out.types, error)) return cl.fail(QString::fromStdString(error));
    }
    if (p.isSet(clock)) {
        const QString v = p.value(clock);
        out.clock = parse_iso_utc(v.toStdString());
        if (!out.clock) return cl.fail("bad --clock '" + v + "': expected a UTC time like 2026-12-06T10:15:30.250Z");
    }
    if (p.isSet(leap) && !parse_int(p.value(leap).toStdString(), out.leap_seconds))
        return cl.fail("bad --leap '" + p.value(leap) + "': expected a whole number of seconds");
    out.reconnect = p.isSet(reconnect);
    if (p.isSet(baud)) {
        static constexpr int rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
        if (!parse_int(p.value(baud).toStdString(), out.baud) || std::find(std::begin(rates), std::end(rates), out.baud) == std::end(rates))
            return cl.fail("bad --baud '" + p.value(baud) + "': choose from 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800");
    }
    if (p.isSet(silence) && (!parse_int(p.value(silence).toStdString(), out.silence_s) || out.silence_s < 0))
        return cl.fail("bad --silence '" + p.value(silence) + "': expected a number of seconds, 0 to wait for ever");
    if (p.isSet(sourcetable)) out.sourcetable = p.value(sourcetable).toStdString();
    if (p.isSet(interval)) {
        bool ok = false;
        out.interval = p.value(interval).toDouble(&ok);
        if (!ok || !(out.interval >= 1) || out.interval > 86400)
            return cl.fail("bad --interval '" + p.value(interval) + "': expected seconds from 1 to 86400");
    }
    out.stats = p.isSet(statsOption);
    if (out.stats && out.format != Format::json) return cl.fail(QStringLiteral("--stats applies to --format json only"));
    if (p.isSet(output)) out.output = p.value(output).toLocal8Bit().toStdString();
    if (p.isSet(rules)) out.rules = p.value(rules).toLocal8Bit().toStdString();
    if (p.isSet(onEvent)) {
        out.on_event = p.value(onEvent).toLocal8Bit().toStdString();
        if (out.on_event.find_first_not_of(" \t") == std::string::npos)
            return cl.fail(QStringLiteral("--on-event needs a command"));
    }
    out.alarms = p.isSet(alarms) || p.isSet(rules) || p.isSet(onEvent) || out.format == Format::alarms;

    const QStringList sources = p.positionalArguments();
    if (sources.size() > 1)
        return cl.fail("more than one source given ('" + sources[0] + "' and '" + sources[1] + "')");
    if (!sources.isEmpty()) out.source = sources[0].toLocal8Bit().toStdString();

    if (p.isSet(credentials)) {
        out.credentials = p.value(credentials).toLocal8Bit().toStdString();
        if (out.sourcetable.empty() && !out.source.starts_with("ntrip://") && !out.source.starts_with("ntrips://"))
            return cl.fail(QStringLiteral("--credentials applies to ntrip:// and ntrips:// sources only"));
    }
    if (!out.types.empty() && out.format != Format::text && out.format != Format::code)
        return cl.fail(QStringLiteral("--types applies to --format text and code only"));
    return std::nullopt;
}

}  // namespace tessaly::cli
