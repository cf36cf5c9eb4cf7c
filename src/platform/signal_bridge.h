#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vornix7 {

// Turns SIGTERM, SIGINT and SIGHUP (the terminal the program was started
// from going away) into a call made from the event loop. The handler only
// writes one byte into a socket pair (async-signal-safe); the call happens
// when events are next processed, like a click on Exit, so a signal can
// never interrupt a log write half-way.
//
// While a bridge exists it owns the three signals; at most one bridge may
// exist at a time (a signal handler can reach only one process-wide
// descriptor). The previous handlers come back when it is destroyed.
//
// On Windows, which has no such signals, a bridge does nothing: a GUI
// program is ended through its window, which Qt already delivers.
class SignalBridge final : public QObject {
    Q_OBJECT

public:
    // Throws std::system_error when the socket pair or the handlers cannot
    // be set up, std::logic_error when another bridge exists.
    explicit SignalBridge(std::function<void()> onSignal, QObject* parent = nullptr);
    ~SignalBridge() override;
    SignalBridge(const SignalBridge&) = delete;
    SignalBridge& operator=(const SignalBridge&) = delete;

private:
    struct PreviousHandlers; // the system's own types stay in the system's file

    void OnReadable();

    std::function<void()> onSignal_;
    int readFd_ = -1;
    int writeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::unique_ptr<PreviousHandlers> previous_;
};

} // namespace vornix7
