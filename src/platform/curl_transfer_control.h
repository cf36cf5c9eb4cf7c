#pragma once

#include "acquisition/transfer_control.h"

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vornix7 {

// The transfer control on libcurl's multi interface. Each Execute makes one
// fresh connection and sends one GET for the URL as written (path and query
// unchanged); it never retries, never follows a redirect and uses no proxy,
// whatever the environment says. Only http:// URLs: the device serves plain
// HTTP, so https and every other scheme end at once without an answer. User
// info in the URL is sent as Basic authentication.
//
// Everything happens on the caller's thread and nothing waits: Execute and
// StillExecuting each let curl do what it can at once and return. Name
// lookups run on curl's own resolver thread (the asynchronous resolver of
// Debian's libcurl).
//
// One curl handle serves the whole run: its options are set once, and an
// Execute only sets the URL when it differs from the last one.
class CurlTransferControl final : public TransferControl {
public:
    CurlTransferControl();
    ~CurlTransferControl() override;
    CurlTransferControl(const CurlTransferControl&) = delete;
    CurlTransferControl& operator=(const CurlTransferControl&) = delete;

    void Cancel() override;
    void Execute(const std::string& url, const std::string& operation) override;
    bool StillExecuting() override;
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override;

    // For tests: body bytes kept so far.
    std::size_t keptBytes() const { return body_.size(); }

private:
    // How the last request ended, as GetChunk reports it: no answer at all
    // (nullopt), the page, or an answer that carries no page ("").
    enum class Outcome { kNoAnswer, kPage, kNoPage };

    static std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t WatchHead(char* data, std::size_t size, std::size_t count, void* self);
    void Progress();
    void Finish(CURLcode result);
    void ConfigureRequest();
    // Takes the handle out of the multi handle; a transfer still running
    // has its connection closed (FORBID_REUSE).
    void Detach();

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    // The URL last given and whether the URL rule lets it be fetched,
    // judged once per URL.
    std::string url_;
    bool urlUsable_ = false;
    bool attached_ = false;
    std::string body_;
    std::size_t handedOut_ = 0;
    bool executing_ = false;
    // Whether the answer's head (the last one, after any 1xx) came whole.
    bool headEnded_ = false;
    Outcome outcome_ = Outcome::kNoAnswer;
};

} // namespace vornix7
