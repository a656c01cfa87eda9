#pragma once
// `--format text` and `--format code`: the bytes that storing in that
// format would write, for storing started before the first byte.

#include "options.h"

namespace tessaly::cli {

// Decodes the whole source with the recorder writing to standard output or,
// with -o, appending to the file. Returns the exit status; failures are
// reported on standard error.
int record_stream(const Options& opt);

}  // namespace tessaly::cli
