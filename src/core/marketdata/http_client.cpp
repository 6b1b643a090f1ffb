#include "core/marketdata/http_client.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <memory>

namespace tovira {

namespace {

// The charset parameter of a Content-Type value, lower case, without quotes;
// empty when there is none.
QByteArray CharsetOf(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray param = parts[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0 || param.left(eq).trimmed().toLower() != "charset") continue;
        QByteArray value = param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.mid(1, value.size() - 2).trimmed();
        }
        return value.toLower();
    }
    return {};
}

bool IsChineseCharset(const QByteArray& charset) {
    // GB18030 is a superset of all of them; decoding by it never loses a
    // character the server meant.
    return charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "x-gbk" ||
           charset == "cp936" || charset == "windows-936" || charset == "ms936" ||
           charset == "euc-cn";
}

// A complete HTTP answer arrived, whatever its status: Qt reports 4xx and 5xx
// statuses as errors in these two ranges.
bool IsHttpStatusError(QNetworkReply::NetworkError error) {
    return (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

}  // namespace

OwnerGuard::OwnerGuard(QObject* owner) {
    if (!owner) return;
    const std::shared_ptr<bool> gone = gone_;
    QObject::connect(owner, &QObject::destroyed, [gone] { *gone = true; });
}

const char* const HttpClient::kUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

HttpClient::~HttpClient() { *alive_ = false; }

HttpClient::HttpClient(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)) {
    manager_->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

void HttpClient::Get(const QUrl& url, std::function<void(const HttpResponse&)> done,
                     QObject* context, int timeoutMs, std::function<void(qint64, qint64)> progress,
                     const HttpHeaders& headers) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    for (const auto& [name, value] : headers) request.setRawHeader(name, value);
    QNetworkReply* reply = manager_->get(request);

    // A provider that moved its data elsewhere answers with a redirect: one
    // within the same host (http to https included) is followed, one to
    // another host is refused and reported, never followed blindly.
    auto redirect = std::make_shared<QUrl>();
    auto refused = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::redirected, reply,
            [reply, url, redirect, refused](const QUrl& to) {
                *redirect = to;
                const bool sameHost = to.host().compare(url.host(), Qt::CaseInsensitive) == 0;
                const bool downgrade =
                    url.scheme() == QLatin1String("https") && to.scheme() != QLatin1String("https");
                if (sameHost && !downgrade) {
                    emit reply->redirectAllowed();
                } else {
                    *refused = true;
                    reply->abort();
                }
            });

    // Made before the abort below is connected, so that it already reads
    // "gone" when the abort reports back.
    const OwnerGuard owner(context);
    auto timedOut = std::make_shared<bool>(false);
    auto reported = std::make_shared<bool>(false);
    const std::shared_ptr<bool> alive = alive_;
    const int limitMs = timeoutMs > 0 ? timeoutMs : timeoutMs_;

    QTimer* timer = nullptr;
    if (limitMs > 0) {
        timer = new QTimer(reply);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
            *timedOut = true;
            reply->abort();  // emits finished, handled below
        });
    }
    // Nobody is waiting for the answer any more: stop the transfer early.
    if (context) connect(context, &QObject::destroyed, reply, &QNetworkReply::abort);

    if (progress) {
        // Told as each piece arrives: Qt's own progress signal is held back
        // while the bytes come faster than ten times a second, and a transfer
        // that then stalls would show nothing received. The body is read
        // only at the end, so what is available is what has come.
        connect(reply, &QNetworkReply::readyRead, this,
                [reply, reported, alive, owner, progress = std::move(progress)] {
                    if (*reported || !*alive || owner.Gone()) return;
                    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
                    progress(reply->bytesAvailable(), length.isValid() ? length.toLongLong() : -1);
                });
    }

    connect(reply, &QNetworkReply::finished, this,
            [reply, timer, timedOut, reported, alive, owner, limitMs, redirect, refused,
             done = std::move(done)] {
                if (timer) timer->stop();
                reply->deleteLater();
                if (*reported || !*alive) return;
                *reported = true;
                if (owner.Gone()) return;

                HttpResponse response;
                const QNetworkReply::NetworkError error = reply->error();
                response.status =
                    reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (reply->isOpen()) response.body = reply->readAll();  // closed once aborted
                response.redirectedTo = *redirect;
                if (*refused) {
                    response.redirectRefused = true;
                    response.error = QStringLiteral("redirected to %1").arg(redirect->toString());
                } else if (*timedOut) {
                    response.timedOut = true;
                    response.error = QStringLiteral("no answer within %1 ms").arg(limitMs);
                } else if (error == QNetworkReply::NoError ||
                           (response.status > 0 && IsHttpStatusError(error))) {
                    response.ok = true;
                } else {
                    response.error = reply->errorString();
                    // A certificate that does not verify, or no TLS backend at all
                    // (Qt then says "TLS initialization failed").
                    response.tlsFailed = error == QNetworkReply::SslHandshakeFailedError ||
                                         (reply->url().scheme() == QLatin1String("https") &&
                                          (response.error.contains(QLatin1String("TLS")) ||
                                           response.error.contains(QLatin1String("SSL"))));
                }
                if (response.ok) {
                    response.text = DecodeBody(response.body, reply->rawHeader("Content-Type"));
                }
                const auto callback = done;  // done may delete this client
                callback(response);
            });

    if (timer) timer->start(limitMs);
}

bool IsWholePicture(const QByteArray& bytes) {
    static const QByteArray kPng("\x89PNG\r\n\x1a\n", 8);
    static const QByteArray kPngEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
    if (bytes.startsWith(kPng)) return bytes.endsWith(kPngEnd);
    if (bytes.startsWith("GIF8")) return bytes.endsWith('\x3B');
    if (bytes.startsWith("\xFF\xD8")) return bytes.endsWith("\xFF\xD9");
    return true;
}

QString HttpClient::DecodeBody(const QByteArray& body, const QByteArray& contentType) {
    static const QByteArray kUtf8Bom("\xEF\xBB\xBF");
    // A byte order mark says more than the header: browsers let it win too.
    if (body.startsWith(kUtf8Bom)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return utf8.decode(QByteArrayView(body).sliced(kUtf8Bom.size()));
    }

    const QByteArray charset = CharsetOf(contentType);
    if (IsChineseCharset(charset)) {
        QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
        return gb.decode(body);
    }
    if (!charset.isEmpty()) {
        QStringDecoder declared(charset.constData(), QStringDecoder::Flag::Stateless);
        if (declared.isValid()) return declared.decode(body);
    }

    // No usable charset: UTF-8 when the bytes are UTF-8, else the Chinese
    // code page the providers' older pages use.
    // Stateless, so a sequence cut off at the end counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) return text;
    QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
    return gb.decode(body);
}

QUrl UrlOnServer(const QString& baseUrl, const QString& pathAndQuery) {
    QString base = baseUrl;
    while (base.endsWith(u'/')) base.chop(1);
    return QUrl(base + pathAndQuery, QUrl::TolerantMode);
}

}  // namespace tovira
