#include "platform/qt_transfer_control.h"

#include <QByteArray>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vornix7 {

namespace {

// Qt's own buffer per reply. Qt's HTTP thread reads no further ahead than
// this, so it bounds what sits in queued events between two pumps, and it is
// large enough that a long body still moves quickly at 20 ms per pump.
constexpr qint64 kReadBufferBytes = 1 << 20;

bool IsGet(const std::string& operation)
{
    // The original control took an empty operation to mean GET.
    return operation.empty()
        || QString::fromStdString(operation).compare(QLatin1String("GET"), Qt::CaseInsensitive) == 0;
}

QNetworkRequest MakeRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    // A 302 is the device's answer, with its own body; nothing else is fetched.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    // Every poll must reach the device: no cached reading may stand in for
    // it. (Qt marks such a request with Cache-Control and Pragma no-cache.)
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Plain HTTP/1.1 to a small device.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // No state carried from one poll to the next: a cookie the device sets
    // is not sent back.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute,
                         QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute,
                         QNetworkRequest::Manual);
    // The logger has its own give-up rule and cancels.
    request.setTransferTimeout(0);
    return request;
}

} // namespace

bool IsCompleteAnswer(bool hasHttpStatus, QNetworkReply::NetworkError error)
{
    if (!hasHttpStatus)
        return false;
    const int code = static_cast<int>(error);
    if (code == QNetworkReply::NoError)
        return true;
    // Content errors: 401, 403, 404, 405, 409, 410 and other 4xx statuses.
    if (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError)
        return true;
    // Statuses 400 and 418. ProtocolUnknownError and ProtocolFailure, the
    // other protocol errors, mean a response Qt could not make sense of.
    if (error == QNetworkReply::ProtocolInvalidOperationError)
        return true;
    // Server errors: 500, 501, 503 and other 5xx statuses.
    if (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError)
        return true;
    // Status 407. No proxy is ever used, so with a status line present this
    // can only be the device's own answer.
    if (error == QNetworkReply::ProxyAuthenticationRequiredError)
        return true;
    // Network errors (a reset or close in the middle of the body, a time-out,
    // a cancel) and the other proxy errors leave the answer incomplete or
    // absent.
    return false;
}

bool HasWholeBody(int httpStatus, std::optional<std::int64_t> announcedLength, std::int64_t received)
{
    if (httpStatus < 200 || httpStatus == 204 || httpStatus == 304)
        return true; // no body belongs to these, whatever the header says
    return !announcedLength || *announcedLength == received;
}

QtTransferControl::QtTransferControl()
{
    // The program takes no configuration from the environment: no proxy
    // from http_proxy or the system, whatever they say.
    manager_.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    manager_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    manager_.setTransferTimeout(0);
}

QtTransferControl::~QtTransferControl()
{
    Cancel();
}

void QtTransferControl::Cancel()
{
    DeleteReply();
    executing_ = false;
    answered_ = false;
    kept_.clear();
    received_ = 0;
    handedOut_ = 0;
}

void QtTransferControl::DeleteReply()
{
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    if (reply == nullptr)
        return;
    // reply_ is already cleared, so the finished signal that abort() emits
    // is ignored. The reply is deleted at once rather than with deleteLater:
    // a deferred delete posted outside any event handler is only carried out
    // by a running event loop, never by the logger's bare processEvents(),
    // so replies would pile up. This is safe because Cancel is only ever
    // called from the caller's code, never from inside a reply's signal.
    reply->abort();
    delete reply;
}

void QtTransferControl::Execute(const std::string& url, const std::string& operation)
{
    Cancel();
    if (!IsGet(operation))
        throw std::runtime_error("transfer control: unsupported operation '" + operation + "'");

    // Strict parsing refuses what QUrl would have to repair (a space, a '|',
    // a stray '%') rather than send something else. What it accepts goes out
    // as written, up to equivalent spellings QUrl normalises: an encoded
    // letter or digit such as %61 is sent as 'a', hex digits in upper case,
    // "." and ".." path segments resolved.
    const QUrl parsed = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode);
    // Only HTTP: other schemes Qt knows (file:, data:, qrc:) would read local
    // data and present it as the device's answer.
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || parsed.host().isEmpty() || (scheme != "http" && scheme != "https"))
        return; // ends at once without an answer

    executing_ = true;
    reply_ = manager_.get(MakeRequest(parsed));
    QNetworkReply* reply = reply_;
    reply->setReadBufferSize(kReadBufferBytes);
    // The manager is the context object: when the control goes, so do the
    // connections. The reply is passed along so a late signal from a reply
    // that is no longer the current one is recognised and ignored.
    QObject::connect(reply, &QNetworkReply::readyRead, &manager_, [this, reply] {
        if (reply == reply_)
            Drain(reply);
    });
    QObject::connect(reply, &QNetworkReply::finished, &manager_, [this, reply] {
        if (reply == reply_)
            OnFinished(reply);
    });
}

void QtTransferControl::Drain(QNetworkReply* reply)
{
    // Keep up to the cap and read the rest into nothing: the remainder must
    // still be consumed, so that Qt keeps reading and the end of the body
    // (or its breaking off) is seen.
    for (;;) {
        const qint64 available = reply->bytesAvailable();
        if (available <= 0)
            return;
        qint64 done = 0;
        if (kept_.size() < kMaxKeptBytes) {
            const std::size_t old = kept_.size();
            const std::size_t want =
                std::min<std::size_t>(static_cast<std::size_t>(available), kMaxKeptBytes - old);
            kept_.resize(old + want);
            done = reply->read(kept_.data() + old, static_cast<qint64>(want));
            kept_.resize(old + static_cast<std::size_t>(std::max<qint64>(done, 0)));
        } else {
            done = reply->skip(available);
        }
        if (done <= 0)
            return;
        received_ += done;
    }
}

void QtTransferControl::OnFinished(QNetworkReply* reply)
{
    Drain(reply);
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const std::optional<std::int64_t> announced =
        length.isValid() ? std::optional<std::int64_t>(length.toLongLong()) : std::nullopt;
    answered_ = IsCompleteAnswer(status.isValid(), reply->error())
        && HasWholeBody(status.toInt(), announced, received_);
    if (!answered_)
        kept_.clear();
    executing_ = false;
    // The reply stays until the next Cancel or Execute deletes it: it must
    // not be deleted inside its own signal.
}

bool QtTransferControl::StillExecuting()
{
    return executing_;
}

std::optional<std::string> QtTransferControl::GetChunk(std::int32_t size, std::int32_t /*dataType*/)
{
    // The data type only chose between string and byte array in the
    // original control; both are the raw bytes here.
    if (executing_ || !answered_)
        return std::nullopt;
    // Like the original control, successive calls hand out successive
    // chunks; after the last one, "".
    const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
    const std::size_t count = std::min(wanted, kept_.size() - handedOut_);
    std::string chunk = kept_.substr(handedOut_, count);
    handedOut_ += count;
    return chunk;
}

int QtTransferControl::liveReplies() const
{
    return static_cast<int>(manager_.findChildren<QNetworkReply*>().size());
}

} // namespace vornix7
