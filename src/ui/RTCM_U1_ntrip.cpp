// The NTRIP source: a caster's mountpoint through the NTRIP channel,
// watched by the supervisor like the other live sources.
#include <QMenu>

#include "RTCM_U1.h"
#include "ntrip_client.h"
#include "ntrip_picker.h"
#include "port_number.h"

namespace tessaly {

ntrip::Url ntrip_url(const SettingsRecord& s) {
    ntrip::Url url;
    url.host = s.ntripHost.trimmed().toStdString();
    const auto port = parse_port(s.ntripPort.trimmed().toStdString());
    url.port = port ? int(*port) : 0;
    url.mount = s.ntripMount.trimmed().toStdString();
    if (!url.mount.empty() && url.mount.front() == '/') url.mount.erase(0, 1);
    url.user = s.ntripUser.toStdString();
    url.password = s.ntripPassword.toStdString();
    url.has_credentials = !s.ntripUser.isEmpty();
    url.version = s.ntripVersion == 1 ? ntrip::Version::v1
                  : s.ntripVersion == 2 ? ntrip::Version::v2
                                        : ntrip::Version::automatic;
    return url;
}

void TForm1::openNtripSource() {
    if (ComPort1->Connected()) ComPort1->Close();
    if (!ntrip_) {
        ntrip_ = new NtripClient(this);
        connect(ntrip_, &NtripClient::receiving, this, [this] {
            newConnection();
            supervisor_->connected();
        });
        connect(ntrip_, &NtripClient::streamData, this, [this](const QByteArray& bytes) {
            if (settings_.source != kSourceNtrip) return;
            src_.byteCount += std::int32_t(bytes.size());
            supervisor_->received();
            guarded([&] { takeStreamChunk(bytes); });
        });
        connect(ntrip_, &NtripClient::failed, this,
                [this](NtripClient::Failure, const QString& message) { supervisor_->failed(message); });
    }
    ntrip_->close();
    const ntrip::Url url = ntrip_url(settings_);
    ntrip_->setUrl(url);
    if (settings_.ntripGga)
        ntrip_->setGga(NtripClient::GgaPosition{settings_.ntripLatitude, settings_.ntripLongitude, settings_.ntripHeight},
                       settings_.ntripGgaInterval);
    else
        ntrip_->setGga(std::nullopt);
    // The supervisor watches the silence, so that the status counts it.
    ntrip_->setSilenceLimit(0);
    setPanel(1, QStringLiteral("Source: NTRIP"));
    menu_.transmit->menuAction()->setEnabled(true);
    superviseSource(ntrip_->endpoint(), settings_.reconnectNtrip);
    if (url.host.empty() || url.port == 0 || url.mount.empty()) {
        supervisor_->stop();
        setPanel(0, QStringLiteral("NTRIP source incomplete"));
        post_error(this, QStringLiteral("The NTRIP source needs a host, a port (1..65535) and a mountpoint."));
        return;
    }
    ntrip_->open();
}

}  // namespace tessaly
