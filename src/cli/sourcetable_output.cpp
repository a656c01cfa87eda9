#include "sourcetable_output.h"

#include <QEventLoop>

#include <cstdio>
#include <memory>

#include "byte_source.h"
#include "json_output.h"
#include "ntrip_client.h"

namespace tessaly::cli {

namespace {

std::string text_line(const ntrip::StreamRecord& s) {
    return terminal_safe(s.mountpoint) + '\t' + terminal_safe(s.format) + '\t' + terminal_safe(s.format_details) + '\t' +
           terminal_safe(s.country) + '\t' + json_number(s.latitude, 2) + '\t' + json_number(s.longitude, 2) + '\t' +
           (s.nmea ? "nmea" : "-") + '\t' + terminal_safe(s.identifier) + '\n';
}

// JSON strings escape every byte outside printable ASCII already.
std::string json_line(const ntrip::StreamRecord& s) {
    return "{\"class\":\"STR\",\"mountpoint\":" + json_string(s.mountpoint) + ",\"identifier\":" + json_string(s.identifier) +
           ",\"format\":" + json_string(s.format) + ",\"format_details\":" + json_string(s.format_details) +
           ",\"carrier\":" + std::to_string(s.carrier) + ",\"nav_system\":" + json_string(s.nav_system) +
           ",\"network\":" + json_string(s.network) + ",\"country\":" + json_string(s.country) +
           ",\"latitude\":" + json_number(s.latitude, 2) + ",\"longitude\":" + json_number(s.longitude, 2) +
           ",\"nmea\":" + (s.nmea ? "true" : "false") + ",\"solution\":" + std::to_string(s.solution) +
           ",\"authentication\":" + json_string(s.authentication) + ",\"fee\":" + json_string(s.fee) +
           ",\"bitrate\":" + std::to_string(s.bitrate) + ",\"rtcm2\":" + (s.is_rtcm2() ? "true" : "false") + "}\n";
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string terminal_safe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += c < 0x20 || c == 0x7f ? '?' : char(c);
            ++i;
            continue;
        }
        // The length of a well-formed sequence starting here, 0 if none.
        const std::size_t n = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
        bool ok = n > 0 && i + n <= text.size();
        for (std::size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
        if (ok && n == 3) {
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            ok = !(c == 0xe0 && c1 < 0xa0) && !(c == 0xed && c1 >= 0xa0);  // overlong, surrogates
        }
        if (ok && n == 4) {
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            ok = !(c == 0xf0 && c1 < 0x90) && !(c == 0xf4 && c1 >= 0x90);
        }
        if (ok && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) ok = false;  // C1 controls
        if (ok) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

int print_sourcetable(const std::string& text, bool json, std::ostream& out,
                      const std::optional<credentials::Login>& login) {
    std::string error;
    auto url = ntrip::parse_url(text, error);
    if (!url) {
        std::fprintf(stderr, "tessaly-decode: %s\n", error.c_str());
        return 2;
    }
    if (login) {
        url->user = login->user;
        url->password = login->password;
        url->has_credentials = url->has_password = true;
    }
    // RTCM 2 records go out as they come; the others wait in a temporary
    // file, so that a table of any size keeps its order without being held.
    const std::unique_ptr<std::FILE, FileCloser> later(std::tmpfile());
    if (!later) {
        std::perror("tessaly-decode: cannot make a temporary file");
        return 1;
    }
    ensure_qt_application();
    QEventLoop loop;
    NtripClient client;
    client.setUrl(*url);
    client.setSourcetableStreaming(true);
    QString failure;
    QObject::connect(&client, &NtripClient::sourcetableLines, [&](const QByteArray& lines) {
        for (const ntrip::StreamRecord& s : ntrip::parse_sourcetable(std::string_view(lines.constData(), std::size_t(lines.size()))).streams) {
            const std::string line = json ? json_line(s) : text_line(s);
            if (s.is_rtcm2()) out << line;
            else std::fwrite(line.data(), 1, line.size(), later.get());
        }
        // A reader that stopped taking the output ends the run here.
        if (!out.flush()) client.close();
    });
    QObject::connect(&client, &NtripClient::failed, [&](NtripClient::Failure, const QString& m) { failure = m; });
    QObject::connect(&client, &NtripClient::closed, &loop, &QEventLoop::quit);
    client.fetchSourcetable();
    loop.exec();
    if (out && std::fflush(later.get()) == 0 && !std::ferror(later.get())) {
        std::rewind(later.get());
        char buf[65536];
        while (const std::size_t n = std::fread(buf, 1, sizeof buf, later.get())) out.write(buf, std::streamsize(n));
        if (std::ferror(later.get())) failure = "cannot read back the temporary file of other mountpoints";
    } else if (out) {
        failure = "cannot write the temporary file of other mountpoints";
    }
    out.flush();
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "tessaly-decode: %s\n", qPrintable(failure));
        return 1;
    }
    return out ? 0 : 1;
}

}  // namespace tessaly::cli
