#include "shell/headless/headless_window.h"

#include <thread>

#include "acquisition/page_fetch.h"
#include "platform/system.h"

namespace vornix7 {

namespace {

// How long the loop waits when Timer1 is stopped and only a signal can
// end the wait; it then simply waits again.
constexpr std::chrono::milliseconds kIdleWait{60000};

} // namespace

HeadlessWindow::HeadlessWindow(int tickIntervalMs, EndAction endProgram, LineWriter writeStatus)
    : ShellWindow(std::move(endProgram), kServiceProgramName,
                  writeStatus ? std::move(writeStatus) : LineWriter([](const std::string& line) {
                      WriteStandardErrorWithoutWaiting(line);
                  })),
      interval_(tickIntervalMs)
{
}

HeadlessWindow::~HeadlessWindow() = default;

void HeadlessWindow::SetStatus(const std::string& text)
{
    // "Downloading..." and the empty start text would be a line per poll
    // that says nothing: only a change of the device's state is news.
    if ((text != kStatusOnline && text != kStatusOffline) || text == shownStatus_) {
        return;
    }
    shownStatus_ = text;
    // One write: the line cannot interleave with another writer's.
    WriteLine(text + '\n');
}

void HeadlessWindow::PumpEvents()
{
    if (signals_ && signals_->Arrived()) {
        EndProgram(0);
    }
}

void HeadlessWindow::EnableTimer1(bool enabled)
{
    if (enabled) {
        timer1Due_ = Clock::now() + interval_;
    } else {
        timer1Due_.reset();
    }
}

void HeadlessWindow::WatchEndSignals()
{
    if (!signals_) {
        signals_ = std::make_unique<EndSignals>();
    }
}

int HeadlessWindow::Run()
{
    while (!ended()) {
        std::chrono::milliseconds wait = kIdleWait;
        if (timer1Due_) {
            const auto now = Clock::now();
            if (now >= *timer1Due_) {
                HandleTick();
                continue;
            }
            wait = std::chrono::ceil<std::chrono::milliseconds>(*timer1Due_ - now);
        }
        // The wait is the sleep: a signal ends it, and the program, at once.
        if (signals_) {
            if (signals_->WaitFor(static_cast<int>(wait.count()))) {
                EndProgram(0);
            }
        } else {
            std::this_thread::sleep_for(wait);
        }
    }
    return 0;
}

} // namespace vornix7
