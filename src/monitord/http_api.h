#pragma once
// The monitor's HTTP interface (Qt HTTP Server): /metrics in the Prometheus
// text format or OpenMetrics (as the scraper's Accept header asks),
// /streams.json, /healthz.

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "monitor_report.h"

class QHttpServer;

namespace tessaly::monitord {

class HttpApi : public QObject {
public:
    // The daemon's own figures at the time of a scrape.
    std::function<DaemonFigures()> daemon_figures;

    HttpApi(const Monitor& monitor, QObject* parent = nullptr);
    ~HttpApi() override;

    // Listens on HOST:PORT (port 0: one of the system's choosing); false
    // with `error` when the address cannot be taken. A new address replaces
    // the old one only when it could be taken.
    bool listen(const QString& host_port, QString& error);
    // "127.0.0.1:9810", with the port in use.
    QString address() const { return address_; }

private:
    std::unique_ptr<QHttpServer> make_server();

    const Monitor& monitor_;
    std::unique_ptr<QHttpServer> server_;
    QString address_;
};

}  // namespace tessaly::monitord
