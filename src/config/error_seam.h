#pragma once
// The one way the program shows an error or message box.
//
// Every modal error box goes through a single process-wide reporter, so that
// the window layer decides how it looks (a QMessageBox) and tests can record
// exactly what the operator would have seen. Until something else is
// installed the reporter writes to stderr.
//
// Two kinds of failure reach it:
//  - reports a component makes itself (a settings value that cannot be read,
//    the TCP channel's error handler showing its message);
//  - a `Failure` thrown by an operation and not caught by its caller: the
//    handler it ran in ends there, and whoever dispatched the event catches
//    it with `run_guarded` and shows it as the general error report.

#include <QString>

#include <functional>
#include <stdexcept>
#include <utility>

namespace tessaly {

using ErrorReporter = std::function<void(const QString& caption, const QString& text)>;

// Caption of the general error report (failures nobody caught).
inline const QString kFailureCaption = QStringLiteral("Tessaly");

// Installs `reporter` and returns the one it replaces. An empty reporter
// puts the stderr default back.
ErrorReporter set_error_reporter(ErrorReporter reporter);

// Shows one box through the current reporter.
void report_error(const QString& caption, const QString& text);

// The general error report for a failure nobody caught.
inline void report_failure(const QString& text) { report_error(kFailureCaption, text); }

// A failure that travels to the caller and, uncaught, ends the handler it
// ran in. `text` is exactly what the operator is shown.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// Runs one event handler. A Failure thrown inside ends it and is shown as
// the general error report; returns false then. Nothing else is caught.
template <class F>
bool run_guarded(F&& handler) {
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const Failure& f) {
        report_failure(f.text());
        return false;
    }
}

// Installs a reporter for one scope and puts the previous one back after.
class ScopedErrorReporter {
public:
    explicit ScopedErrorReporter(ErrorReporter reporter)
        : previous_(set_error_reporter(std::move(reporter))) {}
    ~ScopedErrorReporter() { set_error_reporter(std::move(previous_)); }
    ScopedErrorReporter(const ScopedErrorReporter&) = delete;
    ScopedErrorReporter& operator=(const ScopedErrorReporter&) = delete;

private:
    ErrorReporter previous_;
};

}  // namespace tessaly
