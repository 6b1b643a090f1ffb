#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests of code that downloads.
// Answers GET requests with canned bodies chosen by the request target
// (path and query, e.g. "/f10/F10DataApi.aspx?type=lsjz&code=1"): the
// longest registered prefix of the target wins; anything else gets a 404.
// Every answer but a Cut one carries Content-Length; all carry
// "Connection: close". Runs on the
// thread's event loop, so the test must spin one (QTRY_*, QSignalSpy::wait,
// a QEventLoop) while the client waits.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>

namespace tovira::test {

class LocalHttpServer : public QObject {
  public:
    explicit LocalHttpServer(QObject* parent = nullptr) : QObject(parent), server_(this) {
        server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
    }

    quint16 Port() const { return server_.serverPort(); }
    // "http://127.0.0.1:PORT", without a trailing slash.
    QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port()); }

    // Answers targets starting with `prefix` with `body`. An empty
    // contentType sends no Content-Type header. delayMs holds the answer back.
    void Answer(const QString& prefix, const QByteArray& body,
                const QByteArray& contentType = "text/html; charset=utf-8", int status = 200,
                int delayMs = 0) {
        Route r;
        r.body = body;
        r.contentType = contentType;
        r.status = status;
        r.delayMs = delayMs;
        routes_.insert(prefix, r);
    }
    // Reads the request and never answers (the connection stays open).
    void Hang(const QString& prefix) {
        Route r;
        r.kind = Route::Kind::Hang;
        routes_.insert(prefix, r);
    }
    // Announces the full body's length, sends only its first `sentBytes`
    // bytes and closes the connection.
    void Truncate(const QString& prefix, const QByteArray& body, int sentBytes,
                  const QByteArray& contentType = "text/html; charset=utf-8") {
        Partial(prefix, Route::Kind::Truncate, body, sentBytes, contentType);
    }
    // Sends no Content-Length, only the body's first `sentBytes` bytes, and
    // closes the connection: to the client the cut-off body looks whole.
    void Cut(const QString& prefix, const QByteArray& body, int sentBytes,
             const QByteArray& contentType = "text/html; charset=utf-8") {
        Partial(prefix, Route::Kind::Cut, body, sentBytes, contentType);
    }
    // Announces the full body's length, sends its first `sentBytes` bytes and
    // then nothing more, keeping the connection open (a transfer that stalls).
    void Stall(const QString& prefix, const QByteArray& body, int sentBytes,
               const QByteArray& contentType = "text/html; charset=utf-8") {
        Partial(prefix, Route::Kind::Stall, body, sentBytes, contentType);
    }
    // Closes the connection without sending anything.
    void Drop(const QString& prefix) {
        Route r;
        r.kind = Route::Kind::Drop;
        routes_.insert(prefix, r);
    }
    // Answers with a redirect to `location` (a path on this server or a whole URL).
    void Redirect(const QString& prefix, const QByteArray& location, int status = 302) {
        Route r;
        r.status = status;
        r.body = "moved";
        r.contentType = "text/plain";
        r.extraHeaders = "Location: " + location + "\r\n";
        routes_.insert(prefix, r);
    }
    // What a handler answers: a body with its type and status.
    struct Reply {
        QByteArray body;
        QByteArray contentType = "application/json; charset=utf-8";
        int status = 200;
    };
    // Answers targets starting with `prefix` with what the handler makes of the
    // target and the request head (a provider that reads its query and headers).
    void Handle(const QString& prefix,
                std::function<Reply(const QString& target, const QByteArray& head)> handler) {
        Route r;
        r.handler = std::move(handler);
        routes_.insert(prefix, r);
    }
    void Clear() { routes_.clear(); }

    // Requests received so far (counted when the request head is complete).
    int Requests() const { return targets_.size(); }
    // Their targets (path and query as sent), in order of arrival.
    QStringList RequestedTargets() const { return targets_; }
    // Their complete request heads (request line and header lines).
    QList<QByteArray> RequestHeads() const { return heads_; }

  private:
    struct Route {
        enum class Kind { Answer, Hang, Truncate, Cut, Drop, Stall } kind = Kind::Answer;
        QByteArray body;
        QByteArray contentType;
        int status = 200;
        int delayMs = 0;
        int sentBytes = 0;
        QByteArray extraHeaders;
        std::function<Reply(const QString&, const QByteArray&)> handler;
    };

    void Accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                const bool headDone = buffer->contains("\r\n\r\n");
                buffer->append(socket->readAll());
                if (!headDone && buffer->contains("\r\n\r\n")) Serve(socket, *buffer);
            });
        }
    }

    void Serve(QTcpSocket* socket, const QByteArray& request) {
        const QByteArray head = request.left(request.indexOf("\r\n\r\n"));
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        QString target = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
        if (target.startsWith(QLatin1String("http://"))) {  // absolute form
            const int slash = target.indexOf(QLatin1Char('/'), 7);
            target = slash < 0 ? QStringLiteral("/") : target.mid(slash);
        }
        targets_ << target;
        heads_ << head;

        const Route* best = nullptr;
        int bestLength = -1;
        for (auto it = routes_.constBegin(); it != routes_.constEnd(); ++it) {
            if (target.startsWith(it.key()) && it.key().size() > bestLength) {
                best = &it.value();
                bestLength = it.key().size();
            }
        }
        Route route;
        if (best) {
            route = *best;
            if (route.handler) {
                const Reply made = route.handler(target, head);
                route.body = made.body;
                route.contentType = made.contentType;
                route.status = made.status;
            }
        } else {
            route.status = 404;
            route.body = "not found";
            route.contentType = "text/plain";
        }

        QPointer<QTcpSocket> guard(socket);
        switch (route.kind) {
            case Route::Kind::Hang:
                return;
            case Route::Kind::Drop:
                socket->abort();
                socket->deleteLater();
                return;
            case Route::Kind::Truncate:
                socket->write(Head(route, route.body.size()) + route.body.left(route.sentBytes));
                socket->flush();
                socket->disconnectFromHost();
                return;
            case Route::Kind::Stall:
                socket->write(Head(route, route.body.size()) + route.body.left(route.sentBytes));
                socket->flush();
                return;
            case Route::Kind::Cut:
                socket->write(Head(route, -1) + route.body.left(route.sentBytes));
                socket->flush();
                socket->disconnectFromHost();
                return;
            case Route::Kind::Answer:
                break;
        }
        const QByteArray reply = Head(route, route.body.size()) + route.body;
        auto send = [guard, reply] {
            if (!guard) return;
            guard->write(reply);
            guard->disconnectFromHost();
        };
        if (route.delayMs > 0) {
            QTimer::singleShot(route.delayMs, this, send);
        } else {
            send();
        }
    }

    // A route that sends only the start of its body.
    void Partial(const QString& prefix, Route::Kind kind, const QByteArray& body, int sentBytes,
                 const QByteArray& contentType) {
        Route r;
        r.kind = kind;
        r.body = body;
        r.contentType = contentType;
        r.sentBytes = sentBytes;
        routes_.insert(prefix, r);
    }

    static QByteArray Head(const Route& route, qsizetype length) {
        QByteArray h = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' +
                       (route.status == 200 ? "OK" : "Status") + "\r\n";
        if (!route.contentType.isEmpty()) h += "Content-Type: " + route.contentType + "\r\n";
        if (length >= 0) h += "Content-Length: " + QByteArray::number(length) + "\r\n";
        h += route.extraHeaders;
        h += "Connection: close\r\n\r\n";
        return h;
    }

    QTcpServer server_;
    QHash<QString, Route> routes_;
    QStringList targets_;
    QList<QByteArray> heads_;
};

}  // namespace tovira::test
