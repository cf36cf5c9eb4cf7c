// The status label through a real poll: the logger built in-process with
// only its tick, its folder and its end replaced, so the real fetch, the
// real transfer control and the real log file meet the real device.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include <optional>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "shell/logger_app.h"
#include "shell/qt/main_window.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// Every text the label shows long enough to be seen by a timer that runs
// whenever events are processed, as they are during a fetch; repeats are
// dropped.
class LabelTrail {
public:
    explicit LabelTrail(const QLabel& label) : label_(label)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Note(); });
        timer_.start(2);
    }
    const std::vector<std::string>& texts() const { return texts_; }

    // Also called directly: the text set at the end of a fetch may not
    // have stood for a whole period of the timer yet.
    void Note()
    {
        const std::string text = label_.text().toStdString();
        if (texts_.empty() || texts_.back() != text) {
            texts_.push_back(text);
        }
    }

private:
    const QLabel& label_;
    QTimer timer_;
    std::vector<std::string> texts_;
};

struct LabelCase {
    std::string name;
    // Empty: nothing listens on the port.
    std::vector<std::string> device;
    std::string label;
    std::string line;
};

using test::PrintTo;

const std::vector<std::string> kDevice = {"--name", "Lab North", "--values", "21.5,48,-3.25,1,2,3,4,5"};

std::vector<std::string> Device(std::vector<std::string> mode)
{
    mode.insert(mode.begin(), kDevice.begin(), kDevice.end());
    return mode;
}

class StatusLabel : public testing::TestWithParam<LabelCase> {};

TEST_P(StatusLabel, ShowsDownloadingThenWhetherTheDeviceAnswered)
{
    const LabelCase& c = GetParam();
    ScratchDir dir;
    const DeviceOrNobody device(dir.path(), c.device);
    WriteFile(dir / kSettingsName, SettingsText({.url = device.url(), .logfileName = dir / kLogName}));

    std::vector<int> endings;
    AppInjections injections;
    injections.appDir = dir.path();
    MainWindow window(50, [&endings](int status) { endings.push_back(status); });
    LoggerApp app(window, std::move(injections));
    const auto* label = window.findChild<QLabel*>(QStringLiteral("lBla"));
    ASSERT_NE(label, nullptr);
    app.Start();
    LabelTrail trail(*label);

    const auto deadline = Clock::now() + Scaled(Millis(5000));
    while (Clock::now() < deadline
           && WholeLineCount(FileExists(dir / kLogName) ? ReadFile(dir / kLogName) : "") == 0
           && endings.empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    trail.Note();

    EXPECT_EQ(endings, std::vector<int>{});
    ASSERT_TRUE(FileExists(dir / kLogName));
    EXPECT_EQ(MaskTimes(SplitLines(ReadFile(dir / kLogName))), std::vector<std::string>{c.line});
    // The next poll may have begun already; this poll's part of the trail
    // comes first.
    ASSERT_GE(trail.texts().size(), 3U);
    EXPECT_EQ(std::vector<std::string>(trail.texts().begin(), trail.texts().begin() + 3),
              (std::vector<std::string>{"", "Downloading...", c.label}));
}

const std::string kOk = OkLine("Lab North", {"21.5", "48.", "-3.25", "1.", "2.", "3.", "4.", "5."});
const std::string kFailed = ErrorLine("", 8);

INSTANTIATE_TEST_SUITE_P(E2e, StatusLabel,
                         testing::Values(LabelCase{"a_working_device_is_online", Device({}), "ONLINE", kOk},
                                         LabelCase{"an_HTTP_500_is_online_since_the_device_answered",
                                                   Device({"--mode", "status"}), "ONLINE", kFailed},
                                         LabelCase{"an_empty_page_is_online_though_the_poll_failed",
                                                   Device({"--mode", "empty"}), "ONLINE", kFailed},
                                         LabelCase{"a_refused_connection_is_offline", {}, "OFFLINE", kFailed},
                                         LabelCase{"a_reset_in_the_middle_of_the_body_is_offline",
                                                   Device({"--mode", "reset"}), "OFFLINE", kFailed},
                                         LabelCase{"a_close_without_an_answer_is_offline",
                                                   Device({"--mode", "close"}), "OFFLINE", kFailed},
                                         LabelCase{"a_device_slower_than_the_time_out_is_offline",
                                                   Device({"--mode", "delay", "--delay-ms", "3000"}),
                                                   "OFFLINE", kFailed}),
                         test::CaseName());

} // namespace
} // namespace vornix7::e2e
