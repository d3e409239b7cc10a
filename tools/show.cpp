// show: print the cards of vCard files as an indented tree.
//
//   card 1: folder "examples", file "sample.vcf"
//     property TEL, group "home"
//       parameter TYPE (type) = "VOICE"
//       value 1: text "+1 555 0100"
//     property AGENT
//       value 1: card
//         property VERSION ...
#include <cstdio>
#include <string>
#include <vector>

#include "tools/client.h"
#include "tools/commands.h"
#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

using _com_util::CheckError;

const char* ParameterKind(EVCardParameter type) {
  switch (type) {
    case VCARD_PARAM_TYPE:
      return "type";
    case VCARD_PARAM_VALUE:
      return "value";
    case VCARD_PARAM_ENCODING:
      return "encoding";
    case VCARD_PARAM_CHARSET:
      return "charset";
    case VCARD_PARAM_LANGUAGE:
      return "language";
    case VCARD_PARAM_X:
      return "extension";
    default:
      return "unknown";
  }
}

// UTF-16 text as a double-quoted UTF-8 string with C-style escapes for
// quotes, backslashes and control characters.
std::string Quoted(const char16_t* text, std::size_t length) {
  const std::string utf8 = ToUtf8({text, length});
  std::string quoted = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\x%02X", c);
          quoted += escape;
        } else {
          quoted += static_cast<char>(c);
        }
    }
  }
  return quoted + "\"";
}

std::string Quoted(BSTR text) {
  return Quoted(text, SysStringLen(text));
}

std::string FormatDate(DATE date) {
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(date, &time)) return "(invalid)";
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond);
  return text;
}

class TreePrinter {
 public:
  void PrintCard(IVCard* card, int depth);

 private:
  void Line(int depth, const std::string& text) {
    std::printf("%*s%s\n", depth * 2, "", text.c_str());
  }
  void PrintProperty(IVCardProperty* property, int depth);
  void PrintValue(IVCardValue* value, LONG position, int depth);
};

void TreePrinter::PrintCard(IVCard* card, int depth) {
  CComPtr<IVCardPropertyColl> properties;
  CheckError(card->get_Properties(&properties));
  LONG count = 0;
  CheckError(properties->get_Count(&count));
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    CheckError(properties->Item(i, &property));
    PrintProperty(property, depth);
  }
}

void TreePrinter::PrintProperty(IVCardProperty* property, int depth) {
  CComBSTR name, group;
  CheckError(property->get_Name(&name));
  CheckError(property->get_Group(&group));
  std::string line =
      "property " + (name.Length() ? ToUtf8(BstrView(name)) : std::string("(unnamed)"));
  if (group.Length()) line += ", group " + Quoted(group);
  Line(depth, line);

  CComPtr<IVCardParameterColl> parameters;
  CheckError(property->get_Parameters(&parameters));
  LONG parameter_count = 0;
  CheckError(parameters->get_Count(&parameter_count));
  for (LONG i = 0; i < parameter_count; ++i) {
    CComPtr<IVCardParameter> parameter;
    CheckError(parameters->Item(i, &parameter));
    EVCardParameter type = VCARD_PARAM_UNKNOWN;
    CComBSTR parameter_name, value;
    CheckError(parameter->get_Type(&type));
    CheckError(parameter->get_Name(&parameter_name));
    CheckError(parameter->get_Value(&value));
    Line(depth + 1, "parameter " + ToUtf8(BstrView(parameter_name)) + " (" + ParameterKind(type) +
                        ") = " + Quoted(value));
  }

  CComPtr<IVCardValueColl> values;
  CheckError(property->get_Values(&values));
  LONG value_count = 0;
  CheckError(values->get_Count(&value_count));
  for (LONG i = 0; i < value_count; ++i) {
    CComPtr<IVCardValue> value;
    CheckError(values->Item(i, &value));
    PrintValue(value, i + 1, depth + 1);
  }
}

void TreePrinter::PrintValue(IVCardValue* value, LONG position, int depth) {
  CComVariant decoded;
  CheckError(value->get_DecodedValue(&decoded));
  const std::string label = "value " + std::to_string(position) + ": ";
  switch (decoded.vt) {
    case VT_BSTR:
      Line(depth, label + "text " + Quoted(decoded.bstrVal));
      break;
    case VT_DATE:
      Line(depth, label + "date " + FormatDate(decoded.date));
      break;
    case VT_ARRAY | VT_UI1: {
      LONG lower = 0, upper = -1;
      SafeArrayGetLBound(decoded.parray, 1, &lower);
      SafeArrayGetUBound(decoded.parray, 1, &upper);
      Line(depth, label + "bytes, " + std::to_string(upper - lower + 1) + " of them");
      break;
    }
    case VT_UNKNOWN: {
      Line(depth, label + "card");
      CComPtr<IVCard> nested;
      if (decoded.punkVal) {
        CheckError(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested)));
        PrintCard(nested, depth + 1);
      }
      break;
    }
    default:
      Line(depth, label + "empty");
      break;
  }
}

}  // namespace

int RunShow(const GlobalOptions& options, Arguments arguments) {
  const Command& command = *FindCommand("show");
  std::vector<std::string> inputs;
  bool options_done = false;
  bool quiet = false;
  for (const std::string& argument : arguments) {
    if (!options_done && argument == "--") {
      options_done = true;
    } else if (!options_done && (argument == "--quiet" || argument == "-q")) {
      quiet = true;
    } else if (!options_done && argument.size() > 1 && argument[0] == '-') {
      return UsageError(command, "unknown option '" + argument + "'");
    } else {
      inputs.push_back(argument);
    }
  }
  if (inputs.empty()) return UsageError(command, "no INPUT file given");

  RuntimeSession session;
  CComPtr<IVCardColl> collection;
  if (FAILED(CreateCollection(options, collection))) return kExitFailed;
  long problems = 0;
  bool all_ok = LoadFiles(collection, inputs, nullptr, quiet, &problems) == S_OK;

  HRESULT status = S_OK;
  try {
    LONG count = 0;
    CheckError(collection->get_Count(&count));
    TreePrinter printer;
    for (LONG i = 0; i < count; ++i) {
      CComPtr<IVCard> card;
      CheckError(collection->Item(i, &card));
      CComBSTR folder, file;
      CheckError(card->get_FolderPath(&folder));
      CheckError(card->get_Filename(&file));
      std::printf("card %ld: folder %s, file %s\n", static_cast<long>(i + 1),
                  Quoted(folder).c_str(), Quoted(file).c_str());
      printer.PrintCard(card, 1);
    }
  } catch (const _com_error& e) {
    status = e.Error();
  }
  all_ok &= CheckStep(status, "show");
  std::fflush(stdout);
  LONG count = 0;
  if (SUCCEEDED(collection->get_Count(&count))) {
    std::fprintf(stderr, "tarvovcard: %s\n", Summary(count, inputs.size(), problems).c_str());
  }
  return all_ok ? kExitOk : kExitFailed;
}

}  // namespace tarvovcard::tools
