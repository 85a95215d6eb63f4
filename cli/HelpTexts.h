// The texts `kestrin --version` and `kestrin COMMAND --help` print. The man
// page (docs/kestrin.1) and the bash completion follow them.
#pragma once

#include <string>
#include <vector>

namespace KestrinCli {

// The usage text.
std::string Usage();

// "kestrin 0.1.0" and a line end.
std::string VersionText();

// What `kestrin --help` adds below the usage text.
std::string MoreHelpText();

// The help of "list" or "convert"; empty for anything else.
std::string CommandHelp(const std::string& command);

// True when the words after the command ask for its help ("-h" or "--help"
// before any "--").
bool AsksForHelp(const std::vector<std::string>& args);

}  // namespace KestrinCli
