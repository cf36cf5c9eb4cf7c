#include "shell/qt/main_window.h"

#include <QApplication>
#include <QByteArray>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QtGlobal>

#include "platform/signal_bridge.h"
#include "platform/system.h"
#include "shell/qt/status_label.h"

namespace vornix7 {

namespace {

// A fixed-size tool window: it can be minimized and closed, never maximized.
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                         | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                         | Qt::WindowCloseButtonHint;

} // namespace

void RunOffscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !DisplayAvailable()) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
        WriteErrorLine(std::string(kWindowProgramName) + ": no display found; running without a window\n");
    }
}

bool HasRealDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen")
           && platform != QLatin1String("minimal");
}

MainWindow::MainWindow(int tickIntervalMs, EndAction endProgram, QWidget* parent)
    : QWidget(parent, kWindowFlags), ShellWindow(std::move(endProgram))
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
    connect(Timer1, &QTimer::timeout, this, [this] { HandleTick(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::SetStatus(const std::string& text)
{
    lBla->setText(QString::fromStdString(text));
}

void MainWindow::ShowLogNotice(const std::string& text)
{
    // As rich text with the path escaped, so no byte of it is taken as markup.
    lBla->setToolTip(text.empty() ? QString() : Qt::convertFromPlainText(QString::fromLocal8Bit(text)));
    if (!HasRealDisplay()) {
        ShellWindow::ShowLogNotice(text);
    }
}

void MainWindow::PumpEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void MainWindow::ShowWindow(bool minimized)
{
    if (minimized) {
        showMinimized();
    } else {
        showNormal();
    }
}

void MainWindow::EnableTimer1(bool enabled)
{
    if (enabled) {
        Timer1->start();
    } else {
        Timer1->stop();
    }
}

void MainWindow::ShowRuntimeError(const std::string& text)
{
    // With no real display nobody could click the box away.
    if (HasRealDisplay()) {
        QMessageBox::critical(isVisible() ? this : nullptr, windowTitle(), QString::fromStdString(text));
    }
}

int MainWindow::Run()
{
    return QApplication::exec();
}

void MainWindow::WatchEndSignals()
{
    signals_ = std::make_unique<SignalBridge>([this] { EndProgram(0); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    EndProgram(0);
}

} // namespace vornix7
