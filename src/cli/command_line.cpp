#include "command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tessaly_version.h"

namespace tessaly {

namespace {

// False when the text could not be written, with errno set.
bool put(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to) == std::size_t(bytes.size());
    return std::fflush(to) == 0 && written;
}

}  // namespace

QStringList arguments_of(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

CommandLine::CommandLine(QString program, QString synopsis, const QString& description, QString epilogue)
    : program_(std::move(program)), synopsis_(std::move(synopsis)), epilogue_(std::move(epilogue)) {
    parser.setApplicationDescription(description);
    parser.addOption(help_);
    parser.addOption(version_);
}

std::optional<int> CommandLine::parse(const QStringList& args) {
    if (!parser.parse(args)) return fail(parse_error(args));
    const bool help = parser.isSet(help_);
    if (!help && !parser.isSet(version_)) return std::nullopt;
    if (put(stdout, help ? help_text() : program_ + QStringLiteral(" " TESSALY_VERSION "\n"))) return 0;
    const int error = errno ? errno : EIO;
    put(stderr, program_ + ": cannot write standard output: " + QString::fromLocal8Bit(std::strerror(error)) + "\n");
    return 1;
}

int CommandLine::fail(const QString& what) const {
    put(stderr, program_ + ": " + what + "\nTry '" + program_ + " --help'.\n");
    return 2;
}

QString CommandLine::help_text() const {
    // Qt's first line names the executable by its path; ours names the
    // program as it is installed, and a blank line sets off the description.
    QString text = parser.helpText();
    text = text.mid(text.indexOf('\n') + 1);
    text = "Usage: " + program_ + " " + synopsis_ + "\n\n" + text;
    if (!epilogue_.isEmpty()) text += "\n" + epilogue_;
    return text;
}

QString CommandLine::parse_error(const QStringList& args) const {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        // Name the option as it was typed, with its dashes.
        for (const QString& a : args.mid(1)) {
            if (a == QLatin1String("--")) break;
            const QString typed = a.section('=', 0, 0);
            QString name = typed;
            while (name.startsWith('-')) name.remove(0, 1);
            if (typed.startsWith('-') && name == unknown.first()) return "unknown option '" + typed + "'";
        }
        return "unknown option '" + QString(unknown.first().size() == 1 ? "-" : "--") + unknown.first() + "'";
    }
    // Qt's own sentence ("Missing value after '--leap'."), as a clause.
    QString why = parser.errorText();
    if (why.endsWith('.')) why.chop(1);
    if (!why.isEmpty()) why[0] = why[0].toLower();
    return why;
}

}  // namespace tessaly
