// velmora-cli as a table of commands: each command is one entry with its name, its synopsis, its
// help and its action (which reads its own options). The help of a command is written next to
// the code that reads its options, in that command's file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velmora {

struct TCliCommand {
    const char* Name;
    const char* Usage;  // the synopsis after "velmora-cli ", one line per form
    const char* Help;   // what the command does, its options, its output and exit status
    // Reads the arguments after the command's name and acts; returns the exit status.
    int (*Run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

extern const TCliCommand kInfoCommand, kListCommand, kReportCommand, kPlanCommand, kRunCommand,
    kCheckCommand, kImageCommand, kConvertCommand, kUsbCommand;
// burn is in a library of its own (cli/CliBurn.cpp, velmora_cli_burn), so that what does not
// burn does not load libburn.
extern const TCliCommand kBurnCommand;

// The commands in the order --help lists them: all but burn; and all of them (velmora_cli_burn).
const std::vector<const TCliCommand*>& CliCommands();
const std::vector<const TCliCommand*>& AllCliCommands();

// The whole command line without the program's name: a command of the table and its arguments,
// --help, COMMAND --help or --version. Returns the exit status.
int RunCli(const std::vector<const TCliCommand*>& commands, const std::vector<std::string>& args,
           std::ostream& out, std::ostream& err);
// The same over CliCommands().
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A usage error of a command: one line on err, and the exit status 2.
int UsageError(std::ostream& err, const TCliCommand& command, const std::string& text);
// True when path names a folder the program can read; otherwise one line on err (the folder is
// missing, not a folder, or cannot be read, with the system's reason).
bool CheckFolderArgument(const std::string& path, std::ostream& err);

}  // namespace velmora
