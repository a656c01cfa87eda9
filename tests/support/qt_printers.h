#pragma once
// Readable GoogleTest output for Qt's text types.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << (list.isEmpty() ? "{}" : "{\"" + list.join("\", \"").toStdString() + "\"}");
}

// Printable ASCII as it is, everything else escaped, so that binary
// differences show.
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    static constexpr char hex[] = "0123456789abcdef";
    *os << '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') *os << "\\n";
        else if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') *os << ch;
        else *os << "\\x" << hex[c >> 4] << hex[c & 15];
    }
    *os << "\" (" << bytes.size() << " bytes)";
}
