// Arbitrary bytes through the decoder with the recorder storing them and the
// JSON writer describing every completed frame. Four leading bytes choose:
//   0  the clock's minute, so that the hour changes are reached
//   1  bits 0-1 the format (code, text, raw), bit 2 all types, bit 3 storing
//      stopped in the second quarter of the stream and started again
//   2-3 the ticked types, one bit per selectable type
// What must hold: every JSON object parses and is plain printable ASCII;
// code output holds only line ends and characters 0x20..0x7F; text output
// is lines ended by CR LF, printable except the station's own text of a
// type 16 frame, which is stored as it arrived.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "json_check.h"
#include "json_output.h"
#include "recorder.h"
#include "rtcmdecw.h"
#include "storing_file.h"

namespace {

using namespace tessaly;

[[noreturn]] void fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "%s: [%s]\n", what, text.c_str());
    std::abort();
}

bool printable(char c) { return c >= 0x20 && c <= 0x7E; }

void check_json(const std::string& line) {
    for (const char c : line)
        if (!printable(c)) fail("JSON holds a byte that is not printable ASCII", line);
    if (!parses_as_json_object(line)) fail("JSON that does not parse as an object", line);
}

// One output file for all runs, in memory.
int output_fd() {
    static const int fd = memfd_create("tessaly-fuzz-output", 0);
    return fd;
}

std::string read_output() {
    const int fd = output_fd();
    std::string out(std::size_t(lseek(fd, 0, SEEK_END)), '\0');
    if (pread(fd, out.data(), out.size(), 0) != ssize_t(out.size())) fail("reading the output failed", "");
    return out;
}

void check_code(const std::string& out) {
    for (const char c : out)
        if (c != '\r' && c != '\n' && (c < 0x20 || static_cast<unsigned char>(c) > 0x7F))
            fail("code output holds a byte outside its set", out);
}

// `infotexts`: the texts the type 16 store held, in order. A block can show
// a text still being received: storing started in the middle of a frame
// writes the current frame at once (the frame-end mark of an earlier frame
// is still raised).
void check_text(const std::string& out, const std::vector<std::string>& infotexts) {
    static const std::string info_header = "Special Frame  INFOTEXT";
    std::size_t pos = 0;
    bool after_info_header = false;
    while (pos < out.size()) {
        if (after_info_header) {
            after_info_header = false;
            // The longest text that fits: a shorter one may be its start.
            std::size_t longest = std::string::npos;
            for (const std::string& t : infotexts)
                if ((longest == std::string::npos || t.size() > longest) && out.compare(pos, t.size(), t) == 0 &&
                    out.compare(pos + t.size(), 2, "\r\n") == 0)
                    longest = t.size();
            if (longest == std::string::npos) fail("text output: a station text no frame held", out.substr(pos, 200));
            pos += longest + 2;
            continue;
        }
        const std::size_t end = out.find("\r\n", pos);
        if (end == std::string::npos) fail("text output: a line without CR LF", out.substr(pos, 200));
        for (std::size_t i = pos; i < end; ++i)
            if (!printable(out[i])) fail("text output: a line that is not printable", out.substr(pos, end - pos));
        after_info_header = out.compare(pos, info_header.size(), info_header) == 0;
        pos = end + 2;
    }
}

// One run of the recorder over `stream` into the output file; storing stops
// at a quarter and starts again at half the stream when `restart` is set.
// Byte by byte, checking the JSON of every frame and collecting the station
// texts, or in chunks of varying size as tessaly-decode reads.
std::string record(const std::uint8_t* head, std::span<const std::uint8_t> stream, bool chunked,
                   std::vector<std::string>& infotexts) {
    const int fd = output_fd();
    if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) fail("no output file", "");

    FixedClock clock({2026, 12, 31, 23, int(head[0] % 60), 30, 0});
    RtcmDecoder decoder(clock);
    RecordingControl control;
    const StoreFormat formats[] = {StoreFormat::code, StoreFormat::text, StoreFormat::raw, StoreFormat::code};
    control.format = formats[head[1] & 3];
    control.all_types = (head[1] & 4) != 0;
    const bool restart = (head[1] & 8) != 0;
    const unsigned mask = unsigned(head[2]) | unsigned(head[3]) << 8;
    for (std::size_t i = 0; i < selectable_types.size(); ++i)
        control.select(selectable_types[i], ((mask >> i) & 1) != 0);
    control.storing_active = true;
    control.apply_pending = true;

    StoringFile file;
    Recorder recorder(control, file, [](const std::string& e) { fail("storing failed", e); });
    decoder.set_storing_hook(&recorder);
    file.attach(fd, "fuzz output");
    decoder.rtcm_decoder_reset();

    const std::size_t length = stream.size();
    unsigned seed = head[0] | 1u;
    for (std::size_t i = 0; i < length;) {
        if (restart && (i == length / 4 || i == length / 2)) {
            control.storing_active = i == length / 2;
            control.apply_pending = true;
        }
        if (chunked) {
            std::size_t end = i < length / 4 ? length / 4 : i < length / 2 ? length / 2 : length;
            if (!restart || end == i) end = length;
            seed = seed * 1103515245u + 12345u;
            const std::size_t n = std::min<std::size_t>(end - i, 1 + (seed >> 16) % 97);
            decoder.rtcm_decode(stream.subspan(i, n), [](std::size_t) {});
            i += n;
            continue;
        }
        decoder.rtcm_decode_byte(stream[i++]);
        if (decoder.frame_completed) check_json(cli::frame_json(decoder));
        if (decoder.header.msg_type == 16) {
            const std::string_view held = std::string_view(decoder.stores.data_16.text).substr(0, 90);
            if (infotexts.empty() || infotexts.back() != held) infotexts.emplace_back(held);
        }
    }
    file.close();
    return read_output();
}

}  // namespace

// Four leading bytes choose the clock and the recording (see the top); the
// rest is the stream. What must hold besides the shapes checked above: the
// chunked run writes exactly what the byte-wise one does.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::span<const std::uint8_t> stream(data + 4, size - 4);
    std::vector<std::string> infotexts;
    const std::string out = record(data, stream, false, infotexts);
    const StoreFormat format = std::array{StoreFormat::code, StoreFormat::text, StoreFormat::raw, StoreFormat::code}[data[1] & 3];
    if (format == StoreFormat::code) check_code(out);
    else if (format == StoreFormat::text) check_text(out, infotexts);
    else if (!out.empty()) fail("the recorder wrote in raw format", out);
    std::vector<std::string> unused;
    if (record(data, stream, true, unused) != out) fail("chunked decoding recorded otherwise than byte by byte", out);
    return 0;
}
