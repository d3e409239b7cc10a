// tarvovcard: a command-line client of the TarvovCard library.
//
//   tarvovcard [--help] COMMAND [ARGUMENT...]
//
// The commands live in the table of commands.cpp; this file reads the options
// that stand before the command name and hands over to the command.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/register_command.h"
#include "tools/status.h"

namespace {

using namespace tarvovcard::tools;

void PrintHelp() {
  std::puts(
      "usage: tarvovcard [--help] [--version] [--registry FILE] [--progid PROGID] COMMAND\n"
      "                  [ARGUMENT...]\n"
      "\n"
      "Reads vCard 2.1 files and writes them back as vCard text or as XML.\n"
      "\n"
      "  --version        print the version and stop\n"
      "  --registry FILE  use the registry file FILE instead of the user's own\n"
      "  --progid PROGID  create the card collection by its ProgID through the\n"
      "                   registry (e.g. TarvovCard.VCardColl)\n"
      "\n"
      "commands:");
  for (const Command& command : Commands())
    std::printf("  %-10s %s\n", command.name, command.summary);
  std::puts(
      "\n"
      "'tarvovcard COMMAND --help' describes a command. An INPUT or OUTPUT \"-\" is\n"
      "standard input or standard output. A long Load shows its progress on\n"
      "standard error when that is a terminal.\n"
      "Exit status: 0 when every step succeeded, 1 when one failed (each failure\n"
      "is reported on standard error with its status code), 2 for a usage error.");
}

int ToolUsageError(const std::string& message) {
  std::fprintf(stderr, "tarvovcard: %s\nTry 'tarvovcard --help'.\n", message.c_str());
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  GlobalOptions options;
  std::size_t next = 0;
  for (; next < arguments.size(); ++next) {
    const std::string& argument = arguments[next];
    if (argument == "--help" || argument == "-h") {
      PrintHelp();
      return kExitOk;
    }
    if (argument == "--version") {
      std::puts("tarvovcard " TARVOVCARD_VERSION);
      return kExitOk;
    }
    if (argument.empty() || argument[0] != '-') break;
    if (argument == "--progid" || argument == "--registry") {
      if (next + 1 == arguments.size()) return ToolUsageError(argument + " needs a value");
      const std::string& value = arguments[++next];
      if (argument == "--progid") {
        options.progid = value;
      } else if (!UseRegistryFile(value)) {
        return kExitFailed;
      }
      continue;
    }
    return ToolUsageError("unknown option '" + argument + "'");
  }
  if (next == arguments.size()) return ToolUsageError("no command given");
  const Command* command = FindCommand(arguments[next]);
  if (!command) return ToolUsageError("unknown command '" + arguments[next] + "'");
  const Arguments rest = Arguments(arguments).subspan(next + 1);
  if (HelpRequested(*command, rest)) return kExitOk;
  try {
    return command->run(options, rest);
  } catch (const _com_error& e) {
    std::fprintf(stderr, "tarvovcard: %s: %s %s\n", command->name, FormatStatus(e.Error()).c_str(),
                 tarvovcard::StatusMeaning(e.Error()));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "tarvovcard: %s: out of memory\n", command->name);
  }
  return kExitFailed;
}
