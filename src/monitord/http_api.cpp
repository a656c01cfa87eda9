#include "http_api.h"

#include <QDateTime>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>

#include "monitor_config.h"

namespace tessaly::monitord {

namespace {

double now_seconds() { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }

}  // namespace

HttpApi::HttpApi(const Monitor& monitor, QObject* parent) : QObject(parent), monitor_(monitor) {}

HttpApi::~HttpApi() = default;

std::unique_ptr<QHttpServer> HttpApi::make_server() {
    auto server = std::make_unique<QHttpServer>();
    server->route("/metrics", [this](const QHttpServerRequest& request) {
        const stats::MetricsFormat format = stats::metrics_format_for(request.value("Accept").toStdString());
        const DaemonFigures figures = daemon_figures ? daemon_figures() : DaemonFigures{};
        std::string text = metrics_text(monitor_, figures, format, now_seconds());
        return QHttpServerResponse(QByteArray(stats::metrics_content_type(format).data()),
                                   QByteArray(text.data(), qsizetype(text.size())));
    });
    server->route("/streams.json", [this](const QHttpServerRequest&) {
        return QHttpServerResponse(QByteArray("application/json"), streams_json(monitor_, now_seconds()));
    });
    server->route("/healthz", [](const QHttpServerRequest&) {
        return QHttpServerResponse(QByteArray("text/plain; charset=utf-8"), QByteArray("ok\n"));
    });
    return server;
}

bool HttpApi::listen(const QString& host_port, QString& error) {
    auto hp = parse_host_port(host_port.toStdString(), true);
    QHostAddress address;
    if (hp && hp->first == "localhost") address = QHostAddress(QHostAddress::LocalHost);
    else if (!hp || !address.setAddress(QString::fromStdString(hp->first))) hp.reset();
    if (!hp) {
        error = "cannot listen on " + host_port + ": expected IP-ADDRESS:PORT (or localhost:PORT)";
        return false;
    }
    auto server = make_server();
    const quint16 port = server->listen(address, quint16(hp->second));
    if (port == 0) {
        error = "cannot listen on " + host_port + ": the address is in use or not this machine's";
        return false;
    }
    server_ = std::move(server);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address.toString() + "]"
                                                                             : address.toString();
    address_ = host + ":" + QString::number(port);
    return true;
}

}  // namespace tessaly::monitord
