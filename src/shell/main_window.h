#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "platform/transfer_control.h"
#include "platform/window_services.h"
#include "shell/end_program.h"

class QLabel;
class QPushButton;
class QTimer;

namespace vornix7 {

class TransferControlOwner;

// The logger's only window, "main": an Exit button, the status label and
// the one-second timer, plus the transfer control the fetch drives. It also
// decides how the program ends: Exit, any close, and run-time errors all go
// through EndProgram.
class MainWindow final : public QWidget, public WindowServices {
    Q_OBJECT

public:
    using TickHook = std::function<void()>;

    static constexpr int kClientWidth = 278;
    static constexpr int kClientHeight = 64;

    // A null control means the real one on Qt's network access; an empty
    // end action means EndProcess. The window starts hidden, its label
    // still saying "lBla": start-up clears it before showing the window.
    explicit MainWindow(int tickIntervalMs = 1000, std::unique_ptr<TransferControl> control = nullptr,
                        EndAction endProgram = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    void SetStatus(const std::string& text) override;
    void PumpEvents() override;

    // What runs on every tick of Timer1; an empty hook does nothing.
    void SetTickHook(TickHook hook);

    // Starts Timer1; its first tick comes one interval later.
    void StartTimer1();

    TransferControl& transferControl();

    // Ends the program with `status` (1 instead if a run-time error is being
    // reported). Only the first call counts; later ones, possible only when
    // the end action returns (in tests), are ignored.
    void EndProgram(int status);

    // Reports a run-time error (stderr, and a message box on a real display)
    // and ends the program with status 1.
    void FailWith(const std::string& kind, const std::string& detail);

    // True once EndProgram ran: no further tick is started.
    bool ended() const { return ended_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnTimer1();

    // The design's names; the Qt object names are the same.
    QPushButton* kExit = nullptr;
    QLabel* lBla = nullptr;
    QTimer* Timer1 = nullptr;
    TransferControlOwner* Interschneck = nullptr;

    EndAction endProgram_;
    TickHook tickHook_;
    bool errorPending_ = false;
    bool ended_ = false;
};

} // namespace vornix7
