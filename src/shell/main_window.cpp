#include "shell/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "platform/curl_transfer_control.h"
#include "shell/error_report.h"
#include "shell/exception_boundary.h"
#include "shell/status_label.h"
#include "shell/transfer_control_owner.h"

namespace vornix7 {

namespace {

// A fixed-size tool window: it can be minimized and closed, never maximized.
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                         | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                         | Qt::WindowCloseButtonHint;

} // namespace

MainWindow::MainWindow(int tickIntervalMs, std::unique_ptr<TransferControl> control, EndAction endProgram,
                       QWidget* parent)
    : QWidget(parent, kWindowFlags), endProgram_(endProgram ? std::move(endProgram) : EndAction(EndProcess))
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("VORNIX7_Logger"));
    setFixedSize(kClientWidth, kClientHeight);

    // Created first and the only control that takes the focus, so it has it
    // as soon as the window is active: Enter or Space ends the program
    // without reaching for the mouse.
    kExit = new QPushButton(QStringLiteral("Exit"), this);
    kExit->setObjectName(QStringLiteral("kExit"));
    kExit->setGeometry(184, 8, 85, 21);
    kExit->setDefault(true);
    kExit->setAutoDefault(true);
    connect(kExit, &QPushButton::clicked, this, [this] { EndProgram(0); });

    lBla = new StatusLabel(QStringLiteral("lBla"), this);
    lBla->setObjectName(QStringLiteral("lBla"));
    lBla->setGeometry(4, 36, 265, 21);
    // Its size never follows its text: with a fixed size a new text asks
    // the window for no layout pass, only for a repaint.
    lBla->setFixedSize(lBla->size());
    lBla->setTextFormat(Qt::PlainText);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(tickIntervalMs);
    // Ticks are counted as seconds between polls; coarse timers may be 5%
    // off, which would stretch every poll interval.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::OnTimer1);

    if (!control) {
        control = std::make_unique<CurlTransferControl>();
    }
    Interschneck = new TransferControlOwner(std::move(control), this);
    Interschneck->setObjectName(QStringLiteral("Interschneck"));
}

MainWindow::~MainWindow() = default;

void MainWindow::SetStatus(const std::string& text)
{
    lBla->setText(QString::fromStdString(text));
}

void MainWindow::PumpEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void MainWindow::SetTickHook(TickHook hook)
{
    tickHook_ = std::move(hook);
}

void MainWindow::StartTimer1()
{
    if (!ended_) {
        Timer1->start();
    }
}

TransferControl& MainWindow::transferControl()
{
    return Interschneck->control();
}

void MainWindow::EndProgram(int status)
{
    if (ended_) {
        return;
    }
    ended_ = true;
    Timer1->stop();
    endProgram_(errorPending_ ? 1 : status);
}

void MainWindow::FailWith(const std::string& kind, const std::string& detail)
{
    if (ended_) {
        return;
    }
    // A message box runs its own event loop: no tick may start meanwhile,
    // and a signal or close while it is open still ends with status 1.
    Timer1->stop();
    errorPending_ = true;
    ReportRuntimeError(kind, detail, isVisible() ? this : nullptr);
    EndProgram(1);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    EndProgram(0);
}

void MainWindow::OnTimer1()
{
    // Stopped while the hook runs: the fetch pumps events, and a second
    // tick must not start inside the first.
    Timer1->stop();
    RunAtBoundary(tickHook_,
                  [this](const std::string& kind, const std::string& detail) { FailWith(kind, detail); });
    if (!ended_) {
        Timer1->start();
    }
}

} // namespace vornix7
