#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "shell_rig.h"

namespace vornix7::test {
namespace {

using test::PrintTo;

// Records the label's text each time it is painted: what the user saw.
class PaintedTexts : public QObject {
public:
    std::vector<QString> texts;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            texts.push_back(static_cast<QLabel*>(watched)->text());
        }
        return false;
    }
};

TEST(StartupTest, LabelIsEmptyFromTheFirstPaintUntilTheFirstFetch)
{
    ShellRig rig(SettingsText({{"PollInterval", "3"}}));
    auto* label = rig.child<QLabel>("lBla");
    ASSERT_NE(label, nullptr);
    PaintedTexts painted;
    label->installEventFilter(&painted);

    rig.app().Start();
    EXPECT_EQ(label->text(), "");
    ASSERT_TRUE(WaitUntil([&] { return rig.control().executes >= 1 && label->text() == "ONLINE"; }));

    ASSERT_FALSE(painted.texts.empty());
    EXPECT_EQ(painted.texts.front(), "");
    const auto firstShown = std::find_if(painted.texts.begin(), painted.texts.end(),
                                         [](const QString& text) { return !text.isEmpty(); });
    ASSERT_NE(firstShown, painted.texts.end());
    EXPECT_EQ(*firstShown, "Downloading...");
    EXPECT_EQ(std::count(painted.texts.begin(), painted.texts.end(), "lBla"), 0);
}

struct ShowCase {
    const char* name;
    std::optional<std::string> settings; // no value: no settings file
    bool minimized;
};

class StartupShowTest : public testing::TestWithParam<ShowCase> {};

TEST_P(StartupShowTest, WindowShowsMinimizedOnlyWhenAskedTo)
{
    ShellRig rig(GetParam().settings);
    rig.app().Start();
    MainWindow& window = rig.window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.isMinimized(), GetParam().minimized);
    EXPECT_TRUE(rig.child<QTimer>("Timer1")->isActive());
    EXPECT_TRUE(rig.endings().empty());
    // The defaults would poll an address on the local network: these end
    // long before the first poll, which comes only after several ticks.
    EXPECT_EQ(rig.control().executes, 0);
}

INSTANTIATE_TEST_SUITE_P(StartMinimized, StartupShowTest,
                         testing::Values(ShowCase{"MinusOne", SettingsText({{"StartMinimized", "-1"}}), true},
                                         ShowCase{"Five", SettingsText({{"StartMinimized", "5"}}), true},
                                         ShowCase{"Zero", SettingsText({{"StartMinimized", "0"}}), false},
                                         ShowCase{"NoSettingsFile", std::nullopt, false}),
                         test::CaseName());

TEST(StartupTest, SettingsFileIsReadFromTheAppDir)
{
    ShellRig rig(SettingsText({{"PollInterval", "7"}, {"URL", "http://127.0.0.1:2/page"}}));
    rig.app().Start();
    EXPECT_EQ(rig.app().iniFile(), rig.dir() + "/VORNIX7_Logger.ini");
    EXPECT_EQ(rig.app().settings().PollInterval, 7);
    EXPECT_EQ(rig.app().settings().URL, "http://127.0.0.1:2/page");
}

// A settings file that is there but cannot be read is said out loud; the
// program still starts on the defaults. A missing one is no news.
TEST(StartupTest, AnUnreadableSettingsFileIsSaidInOneLineAndGivesTheDefaults)
{
    for (const bool unreadable : {false, true}) {
        SCOPED_TRACE(unreadable ? "a folder in place of the settings file" : "no settings file");
        ShellRig rig(std::nullopt);
        const std::string iniFile = rig.dir() + "/VORNIX7_Logger.ini";
        if (unreadable) {
            ASSERT_TRUE(QDir().mkdir(QString::fromStdString(iniFile)));
        }
        testing::internal::CaptureStderr();
        rig.app().Start();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, unreadable ? "VORNIX7_Logger: cannot read the settings file '" + iniFile
                                        + "': Is a directory; using the defaults\n"
                                  : "");
        EXPECT_EQ(rig.app().settings().PollInterval, 5);
        EXPECT_TRUE(rig.window().isVisible());
        EXPECT_TRUE(rig.endings().empty());
    }
}

struct StartupErrorCase {
    const char* name;
    std::string settings;
    std::string setting;
};

class StartupErrorTest : public testing::TestWithParam<StartupErrorCase> {};

TEST_P(StartupErrorTest, OverflowInSettingsEndsBeforeTheWindowAppears)
{
    ShellRig rig(GetParam().settings);
    testing::internal::CaptureStderr();
    rig.app().Start();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rig.endings(), std::vector<int>{1});
    EXPECT_NE(err.find("VORNIX7_Logger: run-time error: Overflow: setting " + GetParam().setting),
              std::string::npos)
        << err;
    EXPECT_FALSE(rig.window().isVisible());
    EXPECT_FALSE(rig.child<QTimer>("Timer1")->isActive());
    EXPECT_EQ(rig.child<QLabel>("lBla")->text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StartupErrorTest,
    testing::Values(
        StartupErrorCase{"PollInterval", SettingsText({{"PollInterval", "1e12"}}), "PollInterval"},
        StartupErrorCase{"LastSensor", SettingsText({{"LastSensor", "-3000000000"}}), "LastSensor"}),
    test::CaseName());

// The real program, started through a symbolic link from another directory:
// it must read the settings beside the real file, not beside the link. Both
// files overflow, each in its own setting, so neither run ever polls.
TEST(StartupTest, ProgramFindsSettingsBesideTheRealExecutableThroughALink)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QDir dir(home.path());
    ASSERT_TRUE(dir.mkdir("real") && dir.mkdir("linked"));
    const QString program = dir.filePath("real/VORNIX7_Logger");
    ASSERT_TRUE(QFile::copy(QStringLiteral(VORNIX7_LOGGER_PROGRAM), program));
    ASSERT_TRUE(QFile::link(program, dir.filePath("linked/VORNIX7_Logger")));
    const auto writeSettings = [&](const QString& path, const std::string& text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly)
               && file.write(text.c_str()) == static_cast<qint64>(text.size());
    };
    ASSERT_TRUE(
        writeSettings(dir.filePath("real/VORNIX7_Logger.ini"), SettingsText({{"PollInterval", "1e12"}})));
    ASSERT_TRUE(
        writeSettings(dir.filePath("linked/VORNIX7_Logger.ini"), SettingsText({{"LastSensor", "1e12"}})));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home.path());
    process.start(dir.filePath("linked/VORNIX7_Logger"), {});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains(
        "VORNIX7_Logger: run-time error: Overflow: setting PollInterval"));
}

} // namespace
} // namespace vornix7::test
