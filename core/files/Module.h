// A part of the program kept in a shared module of its own and loaded on first use, so that the
// commands that never need it do not load its libraries at every start (the conversion's FFmpeg
// and LAME). A module is looked for beside the running program (the build tree, a portable copy)
// and then in the program's installed library folder, found from where the program is.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {

// A module that is missing or cannot be loaded: the text says which, where it was looked for and
// why, in Russian.
class EModuleMissing : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The folders a module is looked for in, in order: the running program's folder, then the
// installed library folder beside its parent (<prefix>/bin → <prefix>/lib/velmora).
std::vector<std::string> ModuleFolders();

// Loads the module `file` (for example "libvelmora-convert.so") once per process and returns the
// address of its symbol `entry`. `purpose` names what the module does for the message
// ("перекодирования"). Thread-safe; a module is never unloaded. Throws EModuleMissing.
void* ModuleEntry(const std::string& file, const char* entry, const std::string& purpose);

}  // namespace velmora
