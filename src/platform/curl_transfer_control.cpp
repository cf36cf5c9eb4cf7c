#include "platform/curl_transfer_control.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <stdexcept>
#include <string_view>

#include "common/url_rule.h"

namespace vornix7 {

namespace {

bool IsGet(std::string_view operation)
{
    // The original control took an empty operation to mean GET.
    return operation.empty()
           || (operation.size() == 3
               && std::equal(operation.begin(), operation.end(), "GET", [](char got, char wanted) {
                      return std::toupper(static_cast<unsigned char>(got)) == wanted;
                  }));
}

// A final status of 2xx is the page; curl reports 0 for an answer without a
// status line (HTTP/0.9), which old device firmware sends.
bool CarriesPage(long status)
{
    return status == 0 || (status >= 200 && status <= 299);
}

} // namespace

CurlTransferControl::CurlTransferControl()
{
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        throw std::runtime_error("transfer control: libcurl could not be initialised");
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
    headers_ = curl_slist_append(nullptr, "Connection: close");
    if (multi_ == nullptr || easy_ == nullptr || headers_ == nullptr) {
        curl_slist_free_all(headers_);
        curl_easy_cleanup(easy_);
        curl_multi_cleanup(multi_);
        curl_global_cleanup();
        throw std::bad_alloc();
    }
    ConfigureRequest();
}

CurlTransferControl::~CurlTransferControl()
{
    Detach();
    curl_easy_cleanup(easy_);
    curl_slist_free_all(headers_);
    curl_multi_cleanup(multi_);
    curl_global_cleanup();
}

void CurlTransferControl::Detach()
{
    if (attached_) {
        // A transfer taken out before its end has its connection closed
        // here and now; QUICK_EXIT keeps this from waiting for a lookup.
        curl_multi_remove_handle(multi_, easy_);
        attached_ = false;
    }
}

void CurlTransferControl::Cancel()
{
    Detach();
    executing_ = false;
    outcome_ = Outcome::kNoAnswer;
    body_.clear();
    handedOut_ = 0;
    headEnded_ = false;
}

void CurlTransferControl::Execute(const std::string& url, const std::string& operation)
{
    Cancel();
    if (!IsGet(operation))
        throw std::runtime_error("transfer control: unsupported operation '" + operation + "'");
    if (url != url_) {
        url_ = url;
        // The URL rule that vornix7-check also applies: only http://, so
        // nothing else can reach the device or a file (curl would guess a
        // scheme for "127.0.0.1/status.html"), and only what the check
        // passes.
        urlUsable_ = UrlProblem(url).empty() && curl_easy_setopt(easy_, CURLOPT_URL, url.c_str()) == CURLE_OK;
    }
    if (!urlUsable_)
        return; // ends at once without an answer, nothing sent
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK)
        return;
    attached_ = true;
    executing_ = true;
    // The first round resolves a numeric address and starts the connect;
    // the second, on loopback or a near device, sees the connection made
    // and sends the request, so it leaves now rather than at the next step.
    Progress();
    Progress();
}

// The options every request has; curl keeps them on the handle from one
// transfer to the next.
void CurlTransferControl::ConfigureRequest()
{
    CURL* easy = easy_;
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // No configuration from the environment: http_proxy and friends are
    // ignored, the device is asked directly.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    // The path and query go out as written; the device may tell "/./" or
    // "%61" apart from what a normalised URL would say.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    // A fresh connection per poll, closed once the answer is whole; the
    // device is told so, and may end a body without a length by closing.
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "VORNIX7_Logger");
    curl_easy_setopt(easy, CURLOPT_HTTP09_ALLOWED, 1L);
    // No Accept-Encoding is sent (CURLOPT_ACCEPT_ENCODING stays unset): the
    // body arrives as the device keeps it.
    // The fetch's own step count is the only time-out; curl's signal-based
    // lookup time-out would disturb the program's signal handling.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Cancel must never wait for a name lookup still running on curl's
    // resolver thread; the thread is left to end by itself.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransferControl::KeepBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransferControl::WatchHead);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
}

// curl takes a connection closed in the middle of the head for a whole
// answer without a body; only the blank line that ends a head shows it
// came whole. Each status line begins a head anew (after a 100 Continue).
std::size_t CurlTransferControl::WatchHead(char* data, std::size_t size, std::size_t count, void* self)
{
    auto& control = *static_cast<CurlTransferControl*>(self);
    const std::string_view line(data, size * count);
    if (line == "\r\n" || line == "\n")
        control.headEnded_ = true;
    else if (line.starts_with("HTTP/"))
        control.headEnded_ = false;
    return line.size();
}

// Keeps the first kMaxPageBytes of the body and reads the rest through:
// the transfer still runs to the answer's end, so its framing is checked.
std::size_t CurlTransferControl::KeepBody(char* data, std::size_t size, std::size_t count, void* self)
{
    auto& control = *static_cast<CurlTransferControl*>(self);
    const std::size_t bytes = size * count;
    constexpr auto kMaxKept = static_cast<std::size_t>(kMaxPageBytes);
    const std::size_t room = kMaxKept - std::min(kMaxKept, control.body_.size());
    try {
        control.body_.append(data, std::min(bytes, room));
    } catch (...) {
        return 0; // curl ends the transfer with an error: no answer
    }
    return bytes;
}

void CurlTransferControl::Progress()
{
    if (!executing_)
        return;
    int running = 0;
    // Only reads and writes what the sockets take at once; never waits.
    const CURLMcode performed = curl_multi_perform(multi_, &running);
    if (performed != CURLM_OK) {
        Finish(CURLE_FAILED_INIT);
        return;
    }
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            Finish(message->data.result);
            return;
        }
    }
}

void CurlTransferControl::Finish(CURLcode result)
{
    executing_ = false;
    long status = -1;
    if (result == CURLE_OK)
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    // An answer without a status line has no head to cut.
    if (result == CURLE_OK && status != 0 && !headEnded_)
        result = CURLE_PARTIAL_FILE;
    if (result != CURLE_OK) {
        // Refused, unreachable, reset, cut short: nothing of it is kept.
        outcome_ = Outcome::kNoAnswer;
        body_.clear();
    } else if (CarriesPage(status)) {
        outcome_ = Outcome::kPage;
    } else {
        // 404, 401, 500, a redirect...: the device answered, but its body
        // is an error page, never readings.
        outcome_ = Outcome::kNoPage;
        body_.clear();
    }
    // The connection is already closed (FORBID_REUSE); the handle stays
    // for the next poll.
    Detach();
}

bool CurlTransferControl::StillExecuting()
{
    Progress();
    return executing_;
}

std::optional<std::string> CurlTransferControl::GetChunk(std::int32_t size, std::int32_t /*dataType*/)
{
    // The data type only chose between string and byte array in the
    // original control; both are the raw bytes here.
    if (executing_ || outcome_ == Outcome::kNoAnswer)
        return std::nullopt;
    // Like the original control, successive calls hand out successive
    // chunks; after the last one, "".
    const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
    const std::size_t count = std::min(wanted, body_.size() - handedOut_);
    std::string chunk = body_.substr(handedOut_, count);
    handedOut_ += count;
    return chunk;
}

} // namespace vornix7
