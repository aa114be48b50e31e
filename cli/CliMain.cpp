#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/CliCommand.h"

namespace velmora {
namespace {

constexpr char kOverview[] =
    "velmora-cli looks at and prepares a folder of MP3 files for an MP3 CD, as the window\n"
    "does: the analysis of a file, a folder's list and reports, the batch with its plan, the\n"
    "conversion of what the radio cannot play, and the disc's check, its image and its burn.\n"
    "Messages are in Russian; data lines are UTF-8.\n"
    "\n"
    "Names in the output (paths, tag texts) are written on one line each: a backslash as \\\\,\n"
    "a newline as \\n, a tab as \\t, any other control byte and every byte that is not UTF-8 as\n"
    "\\xNN.\n"
    "\n"
    "Exit status: 0 done, 1 something failed or was found, 2 a usage error (nothing touched).\n"
    "\"velmora-cli COMMAND --help\" tells about one command.\n";

const TCliCommand* Find(const std::vector<const TCliCommand*>& commands, const std::string& name) {
    for (const TCliCommand* c : commands)
        if (name == c->Name)
            return c;
    return nullptr;
}

void PrintUsage(const TCliCommand& command, std::ostream& out, const char* first) {
    std::string usage = command.Usage;
    size_t start = 0;
    for (size_t end; start < usage.size(); start = end + 1) {
        end = usage.find('\n', start);
        if (end == std::string::npos)
            end = usage.size();
        out << (start == 0 ? first : "       ") << "velmora-cli "
            << usage.substr(start, end - start) << "\n";
    }
}

void PrintOverview(const std::vector<const TCliCommand*>& commands, std::ostream& out) {
    bool first = true;
    for (const TCliCommand* c : commands) {
        PrintUsage(*c, out, first ? "Usage: " : "       ");
        first = false;
    }
    out << "       velmora-cli --version | --help | COMMAND --help\n\n" << kOverview;
}

bool WantsHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin() + 1, args.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace

const std::vector<const TCliCommand*>& CliCommands() {
    static const std::vector<const TCliCommand*> commands = {
        &kInfoCommand,  &kListCommand,  &kReportCommand,  &kPlanCommand, &kRunCommand,
        &kCheckCommand, &kImageCommand, &kConvertCommand, &kUsbCommand};
    return commands;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunCli(CliCommands(), args, out, err);
}

int RunCli(const std::vector<const TCliCommand*>& commands, const std::vector<std::string>& args,
           std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        PrintOverview(commands, err);
        return 2;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h") {
        PrintOverview(commands, out);
        return 0;
    }
    if (name == "--version") {
        out << "velmora-cli " << VELMORA_VERSION << "\n";
        return 0;
    }
    const TCliCommand* command = Find(commands, name);
    if (command == nullptr) {
        err << "velmora-cli: нет команды «" << name << "» (список команд: velmora-cli --help)\n";
        return 2;
    }
    if (WantsHelp(args)) {
        PrintUsage(*command, out, "Usage: ");
        out << "\n" << command->Help;
        return 0;
    }
    return command->Run({args.begin() + 1, args.end()}, out, err);
}

int UsageError(std::ostream& err, const TCliCommand& command, const std::string& text) {
    err << "velmora-cli " << command.Name << ": " << text << " (подробнее: velmora-cli "
        << command.Name << " --help)\n";
    return 2;
}

bool CheckFolderArgument(const std::string& path, std::ostream& err) {
    struct stat st;
    const char* problem = nullptr;
    int error = 0;
    if (::stat(path.c_str(), &st) != 0) {
        error = errno;
        problem = error == ENOENT ? "такой папки нет" : "папка недоступна";
    } else if (!S_ISDIR(st.st_mode)) {
        problem = "это не папка";
    } else if (DIR* d = ::opendir(path.c_str())) {
        ::closedir(d);
        return true;
    } else {
        error = errno;
        problem = "папку нельзя прочитать";
    }
    err << "velmora-cli: " << path << ": " << problem;
    if (error != 0 && error != ENOENT)
        err << " (" << std::strerror(error) << ")";
    err << "\n";
    return false;
}

}  // namespace velmora
