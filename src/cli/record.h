#pragma once
// `--format text` and `--format code`: the bytes that storing in that
// format would write, for storing started before the first byte.

#include "byte_source.h"
#include "options.h"
#include "rtcmdecw.h"

namespace tessaly::cli {

class CliAlarms;

// Decodes the whole source with the recorder writing to standard output or,
// with -o, appending to the file. `decoder` is freshly reset, with the
// options' clock and leap seconds. Returns the exit status; failures are
// reported on standard error. With `alarms`, every frame is judged too (its
// events go to standard error and the hook).
int record_stream(const Options& opt, RtcmDecoder& decoder, const SourceOptions& source, CliAlarms* alarms = nullptr);

}  // namespace tessaly::cli
