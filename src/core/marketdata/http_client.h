#pragma once
// GET requests to the fund-data providers. Asynchronous: the window keeps
// handling events while a request runs, and the answer arrives through a
// callback on the same thread. Every request has a time limit.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QNetworkAccessManager;

namespace tovira {

struct HttpResponse {
    bool ok = false;         // a complete answer arrived (any HTTP status)
    bool timedOut = false;   // the time limit ran out first
    int status = 0;          // HTTP status code, 0 when there was none
    QString text;            // the body decoded as text
    QByteArray body;         // the raw body
    QString error;           // what went wrong, for logs and messages
    bool tlsFailed = false;  // the secure connection could not be set up
    // A redirect to another host (or from https to http) was not followed.
    bool redirectRefused = false;
    QUrl redirectedTo;  // the last redirect target, followed or not; empty without one
};

// The address of pathAndQuery ("/f10/lsjz?...") on a server's base URL, which
// may end in "/" (as Config.ini may give it).
QUrl UrlOnServer(const QString& baseUrl, const QString& pathAndQuery);

// Extra request headers, in order (name, value).
using HttpHeaders = std::vector<std::pair<QByteArray, QByteArray>>;

// Whether the owner of a request is still whole. A QPointer is not enough:
// a QWidget announces its destruction from its own destructor, before the
// QPointers to it are cleared, and anything that runs from that signal (an
// aborted request reporting back, say) would take the half-destroyed window
// for a live one.
class OwnerGuard {
  public:
    explicit OwnerGuard(QObject* owner = nullptr);
    // True once an owner given was destroyed or began to be; never without one.
    bool Gone() const { return *gone_; }

  private:
    std::shared_ptr<bool> gone_ = std::make_shared<bool>(false);
};

class HttpClient : public QObject {
    Q_OBJECT
  public:
    explicit HttpClient(QObject* parent = nullptr);
    // Pending requests are dropped without calling back: their owners may
    // be half destroyed by now.
    ~HttpClient() override;

    // Time limit of every request, in milliseconds (20 s by default).
    void SetTimeout(int ms) { timeoutMs_ = ms; }
    int Timeout() const { return timeoutMs_; }

    // Sends a GET and calls done exactly once, later, on this thread. When
    // context is destroyed first, the request is aborted and done is not
    // called. timeoutMs > 0 replaces the client's time limit for this one.
    // progress, when given, hears the bytes received so far and the size the
    // server announced (-1 when it announced none), as they come.
    // Every request names itself as a desktop browser (some providers refuse
    // other clients); headers are sent as well. Redirects are followed only
    // within the same host and never from https to http.
    void Get(const QUrl& url, std::function<void(const HttpResponse&)> done,
             QObject* context = nullptr, int timeoutMs = 0,
             std::function<void(qint64 received, qint64 total)> progress = {},
             const HttpHeaders& headers = {});

    // The body as text: by the charset the response declares; without one
    // UTF-8, or GB18030 when the bytes are not valid UTF-8.
    static QString DecodeBody(const QByteArray& body, const QByteArray& contentType);

    // The User-Agent sent with every request.
    static const char* const kUserAgent;

  private:
    QNetworkAccessManager* manager_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int timeoutMs_ = 20000;
};

// Whether a picture's bytes reach its format's end marker (PNG's IEND chunk,
// GIF's trailer, JPEG's end of image). A picture cut off when the connection
// broke may still decode, showing half a chart as if it were whole. Bytes of
// another format are taken as they are.
bool IsWholePicture(const QByteArray& bytes);

}  // namespace tovira
