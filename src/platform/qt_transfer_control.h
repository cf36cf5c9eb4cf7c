#pragma once

#include "platform/transfer_control.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vornix7 {

// Whether a finished reply is a complete answer from the device. Qt reports
// HTTP error statuses (404, 500, ...) through error() as well, so the error
// code alone does not tell "the device answered" from "no answer": the status
// line must have arrived and the error must be one that only stands for an
// HTTP status, not a network, proxy or parse failure.
bool IsCompleteAnswer(bool hasHttpStatus, QNetworkReply::NetworkError error);

// Whether all of the body the device announced has come. Qt reports a body
// cut off by the device closing the connection as complete when the close
// arrives together with the last data, so the announced length (if any) is
// checked against the bytes received. Qt drops the length header of a body
// it decompresses; such a body, a chunked one and one ended by closing carry
// no length to check.
bool HasWholeBody(int httpStatus, std::optional<std::int64_t> announcedLength, std::int64_t received);

// The transfer control on Qt's network access. Everything happens on the
// calling thread: Qt's HTTP engine runs in its own thread and hands the data
// over through queued events, which the caller's processEvents() delivers.
class QtTransferControl final : public TransferControl {
public:
    // The most body bytes kept per request; the rest is read and dropped, so
    // a device streaming without end cannot grow the process.
    static constexpr std::size_t kMaxKeptBytes = 1'000'000;

    QtTransferControl();
    ~QtTransferControl() override;
    QtTransferControl(const QtTransferControl&) = delete;
    QtTransferControl& operator=(const QtTransferControl&) = delete;

    void Cancel() override;
    void Execute(const std::string& url, const std::string& operation) override;
    bool StillExecuting() override;
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override;

    // For tests: body bytes kept so far, and replies not yet deleted.
    std::size_t keptBytes() const { return kept_.size(); }
    int liveReplies() const;

private:
    void Drain(QNetworkReply* reply);
    void OnFinished(QNetworkReply* reply);
    void DeleteReply();

    QNetworkAccessManager manager_;
    QNetworkReply* reply_ = nullptr;
    std::string kept_;
    std::int64_t received_ = 0; // body bytes taken from the reply, kept or not
    std::size_t handedOut_ = 0;
    bool executing_ = false;
    bool answered_ = false;
};

} // namespace vornix7
