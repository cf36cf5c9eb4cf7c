// What happens to the log between polls, behind the program's back: moved,
// deleted, its folder taken away, made unwritable, its disk filled. A line
// once written is never lost, and a line that cannot be written ends the
// program with a message instead of vanishing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "log_lines.h"
#include "logger_process.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

// A name that makes the line 66 bytes long, so lines do not tile a 4 kB page.
const std::string kOk = OkLine("Lab North 7", {"21.5", "48.", "-3.25", "1.", "2.", "3.", "4.", "5."});

class HostileLog : public testing::Test {
protected:
    void StartLogger(const std::string& logfileName)
    {
        logger_ =
            std::make_unique<LoggerProcess>(SettingsText({.url = device_.url(), .logfileName = logfileName}));
    }

    TempDir deviceDir_;
    SimProcess device_{deviceDir_.path(), {"--name", "Lab North 7", "--values", "21.5,48,-3.25,1,2,3,4,5"}};
    std::unique_ptr<LoggerProcess> logger_;
};

// Expects the program to have ended on a log it cannot write: status 1 and
// one message of `kind` naming the log.
void ExpectLogError(LoggerProcess& logger, const std::string& kind, const std::string& path)
{
    ASSERT_EQ(logger.WaitForExit(Scaled(Millis(5000))), ExitStatus::Code(1)) << logger.Stderr();
    const auto errors = logger.RuntimeErrors();
    ASSERT_EQ(errors.size(), 1U) << logger.Stderr();
    EXPECT_TRUE(errors[0].starts_with("VORNIX7_Logger: run-time error: " + kind + ": ")) << errors[0];
    EXPECT_NE(errors[0].find(path), std::string::npos) << errors[0];
}

TEST_F(HostileLog, ALogRenamedOrDeletedBetweenPollsIsCreatedAfreshAndTheRenamedOneKeepsItsLines)
{
    StartLogger(kLogName);
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    std::filesystem::rename(logger_->Path(kLogName), logger_->Path("kept.txt"));
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    std::filesystem::remove(logger_->Path(kLogName));
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    ASSERT_EQ(logger_->Stop(), ExitStatus::Code(0));

    EXPECT_EQ(logger_->Lines("kept.txt"), std::vector<std::string>{kOk});
    EXPECT_EQ(logger_->Lines(), std::vector<std::string>{kOk});
    EXPECT_EQ(device_.Requests(), 3);
}

TEST_F(HostileLog, ALogFolderTakenAwayEndsTheProgramAndTheLinesWrittenStayWhole)
{
    StartLogger("logs/log.txt");
    std::filesystem::create_directory(logger_->Path("logs"));
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)), "logs/log.txt")) << logger_->Stderr();
    // Moved rather than deleted, so the lines written can be checked after.
    std::filesystem::rename(logger_->Path("logs"), logger_->Path("logs-kept"));

    ExpectLogError(*logger_, "Path not found", "logs/log.txt");
    EXPECT_EQ(logger_->Lines("logs-kept/log.txt"), std::vector<std::string>{kOk});
    EXPECT_FALSE(FileExists(logger_->Path("logs")));
}

// Makes a file unwritable even for root (the immutable attribute), and
// writable again when it goes so the folder can be removed.
class Unwritable {
public:
    explicit Unwritable(const std::string& path) : path_(path) { error_ = SetImmutable(true); }
    ~Unwritable()
    {
        if (error_ == 0) {
            SetImmutable(false);
        }
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;

    // 0, or why the attribute could not be set.
    int error() const { return error_; }

private:
    int SetImmutable(bool on)
    {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        int error = 0;
        if (fd < 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            error = errno;
        } else {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            error = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 ? 0 : errno;
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return error;
    }

    std::string path_;
    int error_ = 0;
};

TEST_F(HostileLog, ALogThatCannotBeWrittenEndsTheProgramAndKeepsItsLines)
{
    StartLogger(kLogName);
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    Unwritable readOnly(logger_->Path(kLogName));
    if (readOnly.error() != 0) {
        GTEST_SKIP() << "cannot make the log immutable (needs CAP_LINUX_IMMUTABLE and a file system "
                        "with the attribute): "
                     << std::strerror(readOnly.error());
    }

    ExpectLogError(*logger_, "Permission denied", kLogName);
    EXPECT_EQ(logger_->Lines(), std::vector<std::string>{kOk});
}

// A tiny tmpfs, unmounted when the object goes.
class TinyDisk {
public:
    explicit TinyDisk(const std::string& path) : path_(path)
    {
        std::filesystem::create_directory(path_);
        error_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0 ? 0 : errno;
    }
    ~TinyDisk()
    {
        if (error_ == 0) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    TinyDisk(const TinyDisk&) = delete;
    TinyDisk& operator=(const TinyDisk&) = delete;

    int error() const { return error_; }

    // Writes a filler file until the disk refuses more.
    void FillUp() const
    {
        const int fd = ::open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const std::string block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
        }
        while (fd >= 0 && ::write(fd, block.data(), 1) > 0) {
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

private:
    std::string path_;
    int error_ = 0;
};

TEST_F(HostileLog, AFullDiskEndsTheProgramAndTheLogHoldsOnlyWholeLines)
{
    StartLogger("full/log.txt");
    TinyDisk disk(logger_->Path("full"));
    if (disk.error() != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs (needs CAP_SYS_ADMIN): " << std::strerror(disk.error());
    }
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)), "full/log.txt")) << logger_->Stderr();

    // Whole lines of our own bring the log just short of a page's end, so
    // the next line starts in the page the log already owns and needs a new
    // one for its rest: the write goes half-way, then the disk is full.
    std::string content = logger_->Read("full/log.txt");
    const std::string line = content;
    const std::size_t page = 4096;
    while (content.size() + line.size() <= page) {
        content += line;
    }
    ASSERT_LT(content.size(), page) << "the next line would not straddle the page's end";
    WriteFile(logger_->Path("full/log.txt"), content);
    disk.FillUp();

    ExpectLogError(*logger_, "Disk full", "full/log.txt");
    EXPECT_EQ(logger_->Read("full/log.txt"), content);
    for (const auto& written : SplitLines(logger_->Read("full/log.txt"))) {
        EXPECT_TRUE(IsWholeLine(written, 8)) << written;
    }
}

} // namespace
} // namespace vornix7::e2e
