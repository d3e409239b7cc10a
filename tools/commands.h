// The commands of the tarvovcard client and the table that dispatches them.
//
// Every command is one entry of Commands(): its name, a one-line summary for
// the tool's help, its own help text, and the function that runs it. A new
// command is a new source file with its Run function and one more table
// entry in commands.cpp.
#pragma once

#include <span>
#include <string>

namespace tarvovcard::tools {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;      // every step returned S_OK
inline constexpr int kExitFailed = 1;  // a step returned another status
inline constexpr int kExitUsage = 2;   // the command line was wrong

// What the options before the command name set, for every command.
struct GlobalOptions {
  // Empty: the collection comes from the linked library by its class
  // identity. Otherwise a ProgID to look up (reserved for activation through
  // the registry).
  std::string progid;
};

// The arguments after the command name.
using Arguments = std::span<const std::string>;

struct Command {
  const char* name;
  const char* summary;  // one line, for "tarvovcard --help"
  const char* help;     // the command's own --help text
  int (*run)(const GlobalOptions& options, Arguments arguments);
};

std::span<const Command> Commands();
const Command* FindCommand(const std::string& name);

// Reports a usage error of `command` on stderr and returns kExitUsage.
int UsageError(const Command& command, const std::string& message);

// True (and the help printed on stdout) when the arguments ask for it.
bool HelpRequested(const Command& command, Arguments arguments);

int RunToVCard(const GlobalOptions& options, Arguments arguments);
int RunToXml(const GlobalOptions& options, Arguments arguments);
int RunShow(const GlobalOptions& options, Arguments arguments);
int RunToCsv(const GlobalOptions& options, Arguments arguments);
int RunToHtml(const GlobalOptions& options, Arguments arguments);

}  // namespace tarvovcard::tools
