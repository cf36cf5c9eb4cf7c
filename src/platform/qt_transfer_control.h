#pragma once

#include "platform/http_response_parser.h"
#include "platform/tcp_close_probe.h"
#include "platform/transfer_control.h"

#include <QAbstractSocket>
#include <QMetaObject>
#include <QObject>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QTcpSocket;

namespace vornix7 {

// The transfer control as a small HTTP/1.1 client on QTcpSocket. Each
// Execute makes one connection and sends one GET for the URL's path and
// query exactly as written; it never retries, never follows a redirect and
// uses no proxy, whatever the environment says. Only http:// URLs: the
// device serves plain HTTP, so https and every other scheme end at once
// without an answer (see SplitHttpUrl).
//
// Everything happens on the caller's thread: the socket's signals are
// delivered by the caller's processEvents(), and the response is framed by
// HttpResponseParser as its bytes arrive.
class QtTransferControl final : public TransferControl {
public:
    // The most body bytes kept per request; the rest is read and dropped, so
    // a device streaming without end cannot grow the process.
    static constexpr std::size_t kMaxKeptBytes = 1'000'000;
    // What the socket may hold between two pumps. Each pump reads at most
    // this much, so it bounds memory and sets how fast a long body is read
    // through (about this much per 20 ms step).
    static constexpr qint64 kReadBufferBytes = 1 << 20;

    QtTransferControl();
    ~QtTransferControl() override;
    QtTransferControl(const QtTransferControl&) = delete;
    QtTransferControl& operator=(const QtTransferControl&) = delete;

    void Cancel() override;
    void Execute(const std::string& url, const std::string& operation) override;
    bool StillExecuting() override;
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override;

    // For tests: body bytes kept so far, and socket objects not yet deleted.
    std::size_t keptBytes() const { return parser_.body().size(); }
    int liveSockets() const;

private:
    template <typename Step> void Guarded(const Step& step) noexcept;
    void OnConnected();
    void OnStreamEnded(QAbstractSocket::SocketError error);
    bool DrainSocket();
    void Finish(bool answered);
    void DisconnectHandlers();
    void DeleteSocket();

    // Parent of the socket, so that a socket object left behind would show.
    QObject socketOwner_;
    QTcpSocket* socket_ = nullptr;
    std::array<QMetaObject::Connection, 4> connections_;
    TcpCloseProbe closeProbe_;
    std::string requestHead_;
    HttpResponseParser parser_;
    std::vector<char> scratch_;
    std::size_t handedOut_ = 0;
    bool executing_ = false;
    bool answered_ = false;
};

} // namespace vornix7
