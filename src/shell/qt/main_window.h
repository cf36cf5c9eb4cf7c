#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "shell/shell_window.h"

class QLabel;
class QPushButton;
class QTimer;

namespace vornix7 {

class SignalBridge;

// Before the QApplication is built: when the user has chosen no Qt platform
// (QT_QPA_PLATFORM) and the system names no display, the logger runs on
// Qt's offscreen platform, without a window, instead of aborting; it says so
// in one line on standard error.
void RunOffscreenWithoutDisplay();

// True when windows appear on a real screen; false for the headless
// platforms ("offscreen", "minimal") and without a GUI application.
bool HasRealDisplay();

// The logger's only window, "main", on Qt Widgets: an Exit button, the
// status label and the one-second timer. Exit and any close end the program
// through EndProgram.
class MainWindow final : public QWidget, public ShellWindow {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 278;
    static constexpr int kClientHeight = 64;

    // An empty end action means EndProcess. The window starts hidden, its
    // label still saying "lBla": start-up clears it before showing the
    // window.
    explicit MainWindow(int tickIntervalMs = 1000, EndAction endProgram = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    void SetStatus(const std::string& text) override;
    void PumpEvents() override;
    void ShowWindow(bool minimized) override;
    void ShowRuntimeError(const std::string& text) override;
    // Qt's event loop.
    int Run() override;
    void WatchEndSignals() override;
    // The label's tooltip; also on standard error when no screen shows it.
    void ShowLogNotice(const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void EnableTimer1(bool enabled) override;

    // The design's names; the Qt object names are the same.
    QPushButton* kExit = nullptr;
    QLabel* lBla = nullptr;
    QTimer* Timer1 = nullptr;

    std::unique_ptr<SignalBridge> signals_;
};

} // namespace vornix7
