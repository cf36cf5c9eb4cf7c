#include "platform/qt_transfer_control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>

namespace vornix7 {
namespace {

using E = QNetworkReply::NetworkError;

struct Row {
    E error;
    bool answered; // with a status line present
    const char* why;
};

// What Qt reports for each kind of ending, and whether the device answered.
const Row kRows[] = {
    {E::NoError, true, "2xx/3xx status, body complete"},
    {E::ContentAccessDenied, true, "403"},
    {E::ContentOperationNotPermittedError, true, "405"},
    {E::ContentNotFoundError, true, "404"},
    {E::AuthenticationRequiredError, true, "401"},
    {E::ContentConflictError, true, "409"},
    {E::ContentGoneError, true, "410"},
    {E::UnknownContentError, true, "other 4xx"},
    {E::ProtocolInvalidOperationError, true, "400 and 418"},
    {E::InternalServerError, true, "500"},
    {E::OperationNotImplementedError, true, "501"},
    {E::ServiceUnavailableError, true, "503"},
    {E::UnknownServerError, true, "other 5xx"},
    {E::ConnectionRefusedError, false, "refused"},
    {E::RemoteHostClosedError, false, "closed before or during the body"},
    {E::HostNotFoundError, false, "no such host"},
    {E::TimeoutError, false, "time-out"},
    {E::OperationCanceledError, false, "cancelled"},
    {E::TemporaryNetworkFailureError, false, "network down"},
    {E::TooManyRedirectsError, false, "redirect loop"},
    {E::UnknownNetworkError, false, "reset and other network failures"},
    {E::ProxyAuthenticationRequiredError, true, "407 from the device: no proxy is used"},
    {E::ProxyConnectionRefusedError, false, "proxy"},
    {E::UnknownProxyError, false, "proxy"},
    {E::ProtocolUnknownError, false, "unsupported scheme"},
    {E::ProtocolFailure, false, "malformed response"},
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << "error " << static_cast<int>(row.error) << " (" << row.why << ")";
}

class AnswerClassification : public ::testing::TestWithParam<Row> {};

TEST_P(AnswerClassification, WithStatusLine)
{
    const Row& row = GetParam();
    EXPECT_EQ(IsCompleteAnswer(true, row.error), row.answered) << row.why;
}

TEST_P(AnswerClassification, WithoutStatusLineNeverAnAnswer)
{
    // No status line means the device said nothing Qt could read, whatever
    // the error code claims.
    EXPECT_FALSE(IsCompleteAnswer(false, GetParam().error)) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(QtErrors, AnswerClassification, ::testing::ValuesIn(kRows));

struct BodyRow {
    int status;
    std::optional<std::int64_t> announced;
    std::int64_t received;
    bool whole;
    const char* why;
};

const BodyRow kBodyRows[] = {
    {200, 1000, 1000, true, "all announced bytes came"},
    {200, 1000, 500, false, "cut off: Qt may still call this finished"},
    {404, 1000, 500, false, "cut-off error page"},
    {500, 10, 0, false, "nothing of the announced body came"},
    {200, 0, 0, true, "announced empty"},
    {200, std::nullopt, 500, true, "chunked, decompressed or ended by closing"},
    {204, 1000, 0, true, "204 has no body, whatever the header says"},
    {304, 1000, 0, true, "304 has no body"},
    {101, std::nullopt, 0, true, "interim status"},
};

void PrintTo(const BodyRow& row, std::ostream* out)
{
    *out << "status " << row.status << " (" << row.why << ")";
}

class WholeBody : public ::testing::TestWithParam<BodyRow> {};

TEST_P(WholeBody, ComparesAnnouncedWithReceived)
{
    const BodyRow& row = GetParam();
    EXPECT_EQ(HasWholeBody(row.status, row.announced, row.received), row.whole) << row.why;
}

INSTANTIATE_TEST_SUITE_P(Lengths, WholeBody, ::testing::ValuesIn(kBodyRows));

} // namespace
} // namespace vornix7
