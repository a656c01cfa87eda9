#pragma once
// The command-line manners the three programs share: -h/--help and
// --version, usage errors that name what was wrong and point at --help
// (exit status 2). Each program adds its own options to `parser` and
// checks their values itself.
//
// The man pages are made from --help (help2man), so descriptions are plain
// lines without indented sub-lists; a list goes into the epilogue as a
// block under a "Heading:" line, two columns, the second one aligned.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

namespace tessaly {

// argv as Qt sees it, program name first.
QStringList arguments_of(int argc, char** argv);

class CommandLine {
public:
    // `synopsis` follows the program name on the usage line; `epilogue`
    // closes the help text (exit statuses, notes).
    CommandLine(QString program, QString synopsis, const QString& description, QString epilogue = {});

    QCommandLineParser parser;

    // Parses `args` (program name first). Returns the exit status when the
    // program is done: 0 after printing help or version (1 when standard
    // output could not take them), 2 after a usage error; nothing when it
    // should go on.
    std::optional<int> parse(const QStringList& args);

    // Prints "PROGRAM: WHAT" and the pointer at --help to standard error;
    // returns 2, the exit status of usage errors.
    int fail(const QString& what) const;

    QString help_text() const;

private:
    QString parse_error(const QStringList& args) const;

    QString program_;
    QString synopsis_;
    QString epilogue_;
    QCommandLineOption help_{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this text and exit.")};
    QCommandLineOption version_{QStringLiteral("version"), QStringLiteral("Show the version and exit.")};
};

}  // namespace tessaly
