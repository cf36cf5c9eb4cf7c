#include "shell/command_line.h"

#include <filesystem>
#include <system_error>

#include "common/control_bytes.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "platform/system.h"
#include "shell/logger_app.h"
#include "shell/version.h"

namespace vornix7 {

namespace {

std::string Usage(const ProgramIdentity& program)
{
    return "usage: " + program.name + " [--help | --version]";
}

// Paths come from the settings file and the file system: control bytes would
// reach the terminal as they are, so they are shown as '?'.
std::string Printable(std::string text)
{
    return ReplaceControlBytes(std::move(text), ControlBytes::kAll, '?');
}

// The log file a run started here would append to: LogfileName as the
// logger reads it, a relative name taken from the working directory.
std::string LogPath(const IniFile& settings)
{
    const std::string name =
        ReadIniValue(kLogfileNameKey.section, kLogfileNameKey.key, kLogfileNameKey.defaultText, settings);
    if (name.empty()) {
        return "none: LogfileName is empty, so logging will fail";
    }
    const std::filesystem::path path = PathFromCodePage(name);
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    return path.is_absolute() || error ? name : CodePageFromPath((cwd / path).lexically_normal());
}

void PrintHelp(std::ostream& out, const ProgramIdentity& program)
{
    // Looked for by the folder's own name; shown as text, with '?' for what
    // the code page cannot hold.
    const std::filesystem::path iniPath = SettingsFileIn(ExecutableFolder());
    const std::string iniFile = CodePageFromPath(iniPath);
    std::error_code error;
    const bool present = std::filesystem::is_regular_file(iniPath, error);
    // Only LogfileName is looked at: a number out of range must not stop
    // --help, and nothing is polled.
    const IniFile settings = IniFile::LoadFromSystemPath(iniPath);

    out << program.name << " " << kVersion
        << ": polls the status page of a VORNIX7 sensor device over HTTP and appends\n"
           "one CSV line per poll to a log file. "
        << program.about << "\n\n"
        << "Settings: " << Printable(iniFile) << "\n"
        << (present ? "          (beside the program, read once at start-up)\n"
                    : "          (not there: the built-in defaults are used)\n")
        << "Log file: " << Printable(LogPath(settings)) << "\n\n"
        << Usage(program) << "\n";
}

} // namespace

std::optional<int> StartProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                                const ProgramIdentity& program)
{
    HoldStandardStreams();
    if (args.empty()) {
        IgnoreWriteSignals();
        return std::nullopt;
    }
    if (args.size() == 1 && args[0] == "--help") {
        PrintHelp(out, program);
        return out.flush() ? 0 : 1;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << program.name << " " << kVersion << "\n";
        return out.flush() ? 0 : 1;
    }
    err << program.name << ": unexpected argument \"" << Printable(args[0]) << "\"; " << Usage(program)
        << "\n";
    return 2;
}

} // namespace vornix7
