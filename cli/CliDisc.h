// The disc commands: "check DIR" lists the problems a radio would have with the folder, "image DIR
// OUT.iso" writes the folder's ISO 9660 image in the order the radio plays.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velmora {

// args are what follows the command's name. Return the exit status: 0 nothing wrong (check) or
// the image written (image), 1 problems found or the image refused or failed, 2 a usage error.
int CheckDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ImageDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora
