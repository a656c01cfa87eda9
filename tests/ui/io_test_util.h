#pragma once
// Real counterparts for the window's channels: a TCP server on 127.0.0.1
// that the test feeds by hand, and a socat pair of pseudo-terminals whose
// near end the window opens as its COM port.

#include "loopback_server.h"
#include "pty_pair.h"
#include "rtcm_encoder.h"
#include "ui_test_util.h"

namespace tessaly::testing {

inline QByteArray bytes_of(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

// `count` frames of type 1 from `station`, sequence numbers counting up.
inline QByteArray frames(int count, std::uint16_t station = 9) {
    StreamEncoder s;
    for (int i = 0; i < count; ++i)
        s.frame({.type = 1, .station = station, .zcount = 1000, .sequence = std::uint8_t(i & 7), .data = {5, 6}});
    return bytes_of(s.bytes());
}

// Bytes of every value, none repeating soon.
inline QByteArray pattern(int n, int step = 31) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b.append(char(i * step % 251));
    return b;
}

// The raw data page's lines from `from` on, joined.
inline std::string raw_text(const TForm1& w, std::size_t from = 0) {
    std::string out;
    const auto& lines = w.rawLines().lines();
    for (std::size_t i = from; i < lines.size(); ++i) out += lines[i];
    return out;
}

inline void configure_internet(SettingsRecord& s, const QString& port) {
    s.source = kSourceInternet;
    s.address = QStringLiteral("127.0.0.1");
    s.port = port;
}

inline void configure_com(SettingsRecord& s, const QString& device, int number) {
    s.comport = device;  // a device path is used as it is
    s.comNumber = number;
}

}  // namespace tessaly::testing
