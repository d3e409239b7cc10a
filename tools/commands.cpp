#include "tools/commands.h"

#include <cstdio>

#include "tools/register_command.h"

namespace tarvovcard::tools {
namespace {

// How every command that loads reports what it met.
#define PROBLEMS_HELP                                                            \
  "\n"                                                                           \
  "Every line that could not be read (skipped, exit 1) and every repair (kept\n" \
  "under a lenient rule) is reported on standard error as FILE:LINE: message.\n"

constexpr Command kCommands[] = {
    {"to-vcard", "load vCard files and save all their cards as one vCard file",
     "usage: tarvovcard to-vcard [--force] [--quiet] OUTPUT INPUT...\n"
     "\n"
     "Loads every INPUT (vCard 2.1 files) into one collection and saves all of\n"
     "its cards, in order, as vCard 2.1 text into OUTPUT. Each card is saved\n"
     "with one VERSION:2.1 property first. When a file cannot be read, the cards\n"
     "that were read are saved all the same. OUTPUT is replaced whole or not at\n"
     "all; it may not be one of the INPUTs (exit 2).\n" PROBLEMS_HELP "\n"
     "  --force      write OUTPUT even when no INPUT could be read\n"
     "  --quiet, -q  report only the problems that lost data\n",
     RunToVCard},
    {"to-xml", "load vCard files and save all their cards as one XML document",
     "usage: tarvovcard to-xml [--force] [--quiet] [--xsl HREF] OUTPUT INPUT...\n"
     "\n"
     "Loads every INPUT (vCard 2.1 files) into one collection and saves all of\n"
     "its cards as one UTF-16 XML document (a vCardSet element) into OUTPUT.\n"
     "OUTPUT is replaced whole or not at all; it may not be one of the INPUTs.\n" PROBLEMS_HELP "\n"
     "  --xsl HREF   name HREF as the document's XSL stylesheet\n"
     "  --force      write OUTPUT even when no INPUT could be read\n"
     "  --quiet, -q  report only the problems that lost data\n",
     RunToXml},
    {"show", "print the cards of vCard files as a tree",
     "usage: tarvovcard show [--quiet] INPUT...\n"
     "\n"
     "Loads every INPUT and prints its cards on standard output: each card with\n"
     "the file it came from, each property with its group, its parameters, and\n"
     "its values with their kind (text, date, bytes, card, empty).\n" PROBLEMS_HELP "\n"
     "  --quiet, -q  report only the problems that lost data\n",
     RunShow},
    {"to-csv", "load vCard files and write one CSV row per card",
     "usage: tarvovcard to-csv [--quiet] OUTPUT INPUT...\n"
     "\n"
     "Loads every INPUT and writes OUTPUT as CSV (RFC 4180, UTF-8, CR LF): a\n"
     "header row, then one row per card with its full name, the parts of its\n"
     "name, organisation, department, title, phones by type (home, work,\n"
     "mobile, fax, other), e-mail addresses, addresses by type, URL and note.\n"
     "A cell with several entries joins them with \"; \". OUTPUT is replaced\n"
     "whole or not at all; it may not be one of the INPUTs (exit 2).\n" PROBLEMS_HELP "\n"
     "  --quiet, -q  report only the problems that lost data\n",
     RunToCsv},
    {"to-html", "load vCard files and render their cards as an HTML contact sheet",
     "usage: tarvovcard to-html [--quiet] [--xsl FILE] OUTPUT INPUT...\n"
     "\n"
     "Loads every INPUT and writes OUTPUT as an HTML page: one box per card with\n"
     "its name, organisation and title, phones and e-mail with their types,\n"
     "addresses, and its photo. The page is the XML of to-xml rendered through\n"
     "the shipped stylesheet (share/tarvovcard/contact-sheet.xsl), which to-xml\n"
     "--xsl can also name. OUTPUT is replaced whole or not at all; it may not\n"
     "be one of the INPUTs (exit 2).\n" PROBLEMS_HELP "\n"
     "  --xsl FILE   render through the XSL stylesheet FILE instead\n"
     "  --quiet, -q  report only the problems that lost data\n",
     RunToHtml},
    {"register", "register the library's classes and type library", kRegisterHelp, RunRegister},
    {"unregister", "remove the library's registration", kUnregisterHelp, RunUnregister},
};

}  // namespace

std::span<const Command> Commands() {
  return kCommands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int UsageError(const Command& command, const std::string& message) {
  std::fprintf(stderr, "tarvovcard %s: %s\nTry 'tarvovcard %s --help'.\n", command.name,
               message.c_str(), command.name);
  return kExitUsage;
}

bool HelpRequested(const Command& command, Arguments arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument == "--help" || argument == "-h") {
      std::fputs(command.help, stdout);
      return true;
    }
  }
  return false;
}

}  // namespace tarvovcard::tools
