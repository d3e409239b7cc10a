// to-vcard and to-xml: load vCard files, save their cards as vCard or XML.
#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/client.h"
#include "tools/commands.h"
#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

struct ConvertArguments {
  std::string output;
  std::vector<std::string> inputs;
  std::string stylesheet;
  bool force = false;
  bool quiet = false;
};

// The input that is the output file itself (by identity, whatever the
// spelling or links), or null. Saving over an input would replace cards that
// are still being read with whatever was read of them.
const std::string* InputThatIsTheOutput(const ConvertArguments& arguments) {
  struct stat output;
  if (arguments.output == "-" || ::stat(arguments.output.c_str(), &output) != 0) return nullptr;
  for (const std::string& input : arguments.inputs) {
    struct stat info;
    if (::stat(input.c_str(), &info) == 0 && info.st_dev == output.st_dev &&
        info.st_ino == output.st_ino)
      return &input;
  }
  return nullptr;
}

// Reads OUTPUT INPUT... and, when `stylesheet_option` is set, --xsl HREF
// (also --xsl=HREF). Empty when the arguments are wrong (reported).
std::optional<ConvertArguments> ParseConvertArguments(const Command& command, Arguments arguments,
                                                      bool stylesheet_option, int* exit_code) {
  ConvertArguments parsed;
  std::vector<std::string> positional;
  bool options_done = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_done || argument.size() < 2 || argument[0] != '-') {
      positional.push_back(argument);
    } else if (argument == "--") {
      options_done = true;
    } else if (argument == "--force") {
      parsed.force = true;
    } else if (argument == "--quiet" || argument == "-q") {
      parsed.quiet = true;
    } else if (stylesheet_option && argument == "--xsl") {
      if (i + 1 == arguments.size()) {
        *exit_code = UsageError(command, "--xsl needs a stylesheet name");
        return std::nullopt;
      }
      parsed.stylesheet = arguments[++i];
    } else if (stylesheet_option && argument.rfind("--xsl=", 0) == 0) {
      parsed.stylesheet = argument.substr(6);
    } else {
      *exit_code = UsageError(command, "unknown option '" + argument + "'");
      return std::nullopt;
    }
  }
  if (positional.size() < 2) {
    *exit_code = UsageError(
        command, positional.empty() ? "OUTPUT and INPUT are missing" : "no INPUT file given");
    return std::nullopt;
  }
  parsed.output = positional.front();
  parsed.inputs.assign(positional.begin() + 1, positional.end());
  return parsed;
}

int Convert(const GlobalOptions& options, Arguments arguments, bool as_xml) {
  const Command& command = *FindCommand(as_xml ? "to-xml" : "to-vcard");
  int exit_code = kExitOk;
  const std::optional<ConvertArguments> parsed =
      ParseConvertArguments(command, arguments, as_xml, &exit_code);
  if (!parsed) return exit_code;
  if (const std::string* input = InputThatIsTheOutput(*parsed)) {
    return UsageError(command, "OUTPUT '" + parsed->output + "' is the input '" + *input +
                                   "'; nothing was read or written");
  }

  RuntimeSession session;
  CComPtr<IVCardColl> collection;
  if (FAILED(CreateCollection(options, collection))) return kExitFailed;

  bool any_readable = false;
  long problems = 0;
  bool all_ok =
      LoadFiles(collection, parsed->inputs, &any_readable, parsed->quiet, &problems) == S_OK;
  // An output that exists is not emptied for want of any input.
  if (!any_readable && !parsed->force) {
    std::fprintf(stderr,
                 "tarvovcard: no input could be read; %s was not written (--force writes it "
                 "all the same)\n",
                 parsed->output.c_str());
    return kExitFailed;
  }
  // Whatever Load left in the collection is saved, even after a failure.
  const std::string target = OutputFileName(parsed->output);
  CComVariant output;
  output.bstrVal = ToBstr(target).Detach();
  output.vt = VT_BSTR;
  const HRESULT status =
      as_xml ? collection->SaveAsXML(output, ToBstr(parsed->stylesheet)) : collection->Save(output);
  bool saved = CheckStep(status, as_xml ? "save as XML" : "save", parsed->output,
                         FAILED(status) ? SaveFailureCause(target, status) : std::string());
  if (saved && parsed->output == "-") saved = CopyToStandardOutput();
  all_ok &= saved;
  LONG count = 0;
  if (saved && SUCCEEDED(collection->get_Count(&count))) {
    std::fprintf(stderr, "tarvovcard: %s; saved to %s\n",
                 Summary(count, parsed->inputs.size(), problems).c_str(),
                 parsed->output == "-" ? "standard output" : parsed->output.c_str());
  }
  return all_ok ? kExitOk : kExitFailed;
}

}  // namespace

int RunToVCard(const GlobalOptions& options, Arguments arguments) {
  return Convert(options, arguments, false);
}

int RunToXml(const GlobalOptions& options, Arguments arguments) {
  return Convert(options, arguments, true);
}

}  // namespace tarvovcard::tools
