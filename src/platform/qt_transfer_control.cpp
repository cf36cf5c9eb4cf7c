#include "platform/qt_transfer_control.h"

#include "platform/http_request.h"
#include "platform/http_url.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QString>
#include <QTcpSocket>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace vornix7 {

namespace {

// One read from the socket's buffer into the parser.
constexpr std::size_t kScratchBytes = 64 * 1024;

bool IsGet(const std::string& operation)
{
    // The original control took an empty operation to mean GET.
    return operation.empty()
           || QString::fromStdString(operation).compare(QLatin1String("GET"), Qt::CaseInsensitive) == 0;
}

} // namespace

QtTransferControl::QtTransferControl() : scratch_(kScratchBytes) {}

// Qt delivers the socket's signals from inside its event handling, which
// must not be left by an exception: anything thrown ends the request
// without an answer instead.
template <typename Step> void QtTransferControl::Guarded(const Step& step) noexcept
{
    try {
        step();
    } catch (...) {
        Finish(false);
    }
}

QtTransferControl::~QtTransferControl()
{
    Cancel();
}

void QtTransferControl::Cancel()
{
    DeleteSocket();
    executing_ = false;
    answered_ = false;
    parser_ = HttpResponseParser();
    requestHead_.clear();
    handedOut_ = 0;
}

void QtTransferControl::Execute(const std::string& url, const std::string& operation)
{
    Cancel();
    if (!IsGet(operation))
        throw std::runtime_error("transfer control: unsupported operation '" + operation + "'");

    const std::optional<HttpTarget> target = SplitHttpUrl(url);
    if (!target)
        return; // ends at once without an answer, nothing sent
    const QString host = QString::fromStdString(target->host);
    // A bracketed host must be an IPv6 address, never a name to look up.
    if (target->ipv6Literal && QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
        return;

    requestHead_ = GetRequestHead(*target);
    executing_ = true;
    socket_ = new QTcpSocket(&socketOwner_);
    // No configuration from the environment: no proxy from http_proxy or
    // the system settings, the device is asked directly.
    socket_->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    socket_->setReadBufferSize(kReadBufferBytes);

    // The socket is the context object, so the connections go with it; they
    // are also cut as soon as the request ends, so a late signal from a
    // finished socket never reaches the next request.
    QTcpSocket* socket = socket_;
    connections_ = {
        QObject::connect(socket, &QTcpSocket::connected, socket,
                         [this] { Guarded([this] { OnConnected(); }); }),
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [this] { Guarded([this] { DrainSocket(); }); }),
        QObject::connect(
            socket, &QTcpSocket::errorOccurred, socket,
            [this](QAbstractSocket::SocketError error) { Guarded([this, error] { OnStreamEnded(error); }); }),
        // At the end of the stream Qt reports RemoteHostClosedError first;
        // this is only a safety net should it not.
        QObject::connect(
            socket, &QTcpSocket::disconnected, socket,
            [this] { Guarded([this] { OnStreamEnded(QAbstractSocket::RemoteHostClosedError); }); }),
    };
    // May report a failure at once, through the handlers above.
    socket->connectToHost(host, target->port);
}

void QtTransferControl::OnConnected()
{
    closeProbe_.Attach(socket_->socketDescriptor());
    socket_->write(requestHead_.data(), static_cast<qint64>(requestHead_.size()));
    // Sent now rather than at the next pump: the device can answer one
    // 20 ms step sooner.
    socket_->flush();
}

// Moves everything the socket holds into the parser, which keeps what it
// may and drops the rest; emptying the buffer each time lets the socket read
// on. Then looks whether the device has also ended the stream. Returns false
// when that ended the request.
bool QtTransferControl::DrainSocket()
{
    using Progress = HttpResponseParser::Progress;
    while (executing_) {
        const qint64 got = socket_->read(scratch_.data(), static_cast<qint64>(scratch_.size()));
        if (got <= 0)
            break;
        const Progress progress =
            parser_.Feed(std::string_view(scratch_.data(), static_cast<std::size_t>(got)));
        if (progress != Progress::kNeedMore) {
            // Whatever follows a complete answer is not part of it: the
            // connection is closed without waiting for the device's close.
            Finish(progress == Progress::kComplete);
            return false;
        }
    }
    if (!executing_)
        return false;
    switch (closeProbe_.PeekEnd()) {
    case TcpCloseProbe::End::kNotYet:
        return true;
    case TcpCloseProbe::End::kInOrder:
        Finish(parser_.PeerClosed() == Progress::kComplete);
        return false;
    case TcpCloseProbe::End::kReset:
        break;
    }
    Finish(false);
    return false;
}

void QtTransferControl::OnStreamEnded(QAbstractSocket::SocketError error)
{
    // Where the probe watches the connection, the drain has told the
    // device's orderly close from a reset; Qt reports both alike, and only
    // the first may end a body that has no length.
    if (!executing_ || !DrainSocket())
        return;
    const bool closedInOrder =
        error == QAbstractSocket::RemoteHostClosedError && closeProbe_.PeerClosedInOrder();
    Finish(closedInOrder && parser_.PeerClosed() == HttpResponseParser::Progress::kComplete);
}

void QtTransferControl::Finish(bool answered)
{
    executing_ = false;
    answered_ = answered;
    if (!answered)
        parser_ = HttpResponseParser(); // nothing of a broken answer is kept
    DisconnectHandlers();
    closeProbe_.Release();
    // Closes the connection at once. The object itself is deleted by the
    // next Cancel or Execute: this runs inside one of its own signals.
    if (socket_ != nullptr)
        socket_->abort();
}

void QtTransferControl::DisconnectHandlers()
{
    for (QMetaObject::Connection& connection : connections_)
        QObject::disconnect(connection);
}

void QtTransferControl::DeleteSocket()
{
    DisconnectHandlers();
    closeProbe_.Release();
    QTcpSocket* socket = std::exchange(socket_, nullptr);
    if (socket == nullptr)
        return;
    // Deleted at once rather than with deleteLater: a deferred delete posted
    // outside any event handler is only carried out by a running event loop,
    // never by the logger's bare processEvents(), so sockets would pile up.
    // This is safe because Cancel and Execute are only ever called from the
    // caller's code, never from inside the socket's signals.
    socket->abort();
    delete socket;
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
    const std::string& body = parser_.body();
    const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
    const std::size_t count = std::min(wanted, body.size() - handedOut_);
    std::string chunk = body.substr(handedOut_, count);
    handedOut_ += count;
    return chunk;
}

int QtTransferControl::liveSockets() const
{
    return static_cast<int>(socketOwner_.findChildren<QTcpSocket*>().size());
}

} // namespace vornix7
