#include "error_seam.h"

#include <cstdio>

namespace tessaly {
namespace {

void to_stderr(const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
}

ErrorReporter& current() {
    static ErrorReporter reporter = to_stderr;
    return reporter;
}

}  // namespace

ErrorReporter set_error_reporter(ErrorReporter reporter) {
    ErrorReporter previous = std::move(current());
    current() = reporter ? std::move(reporter) : ErrorReporter(to_stderr);
    return previous;
}

void report_error(const QString& caption, const QString& text) {
    // A copy, so that a reporter may replace itself while it runs.
    const ErrorReporter reporter = current();
    reporter(caption, text);
}

}  // namespace tessaly
