#include "poll_driver.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>

namespace vornix7::test {

namespace {

// The network tests need an application object for Qt's event machinery;
// one per test process, made before the first test and gone after the last.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = new QCoreApplication(argc_, argv_); }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[32] = "platform_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication* app_ = nullptr;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace

bool WaitWhileExecuting(QtTransferControl& control, std::chrono::milliseconds limit,
                        const std::function<void()>& eachStep)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCoreApplication::processEvents();
        if (eachStep)
            eachStep();
        if (!control.StillExecuting())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

PollResult PollOnce(QtTransferControl& control, const std::string& url, std::chrono::milliseconds limit,
                    const std::function<void()>& eachStep)
{
    const auto start = std::chrono::steady_clock::now();
    PollResult result;
    control.Cancel();
    control.Execute(url, "GET");
    result.finished = WaitWhileExecuting(control, limit, eachStep);
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (result.finished)
        result.body = control.GetChunk(1000000, 0);
    else
        control.Cancel();
    return result;
}

} // namespace vornix7::test
