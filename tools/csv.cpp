// to-csv: load vCard files, write one CSV row per card (RFC 4180, UTF-8).
#include <cstdio>
#include <string>
#include <vector>

#include <tarvovcard/cards.hpp>

#include "tools/client.h"
#include "tools/commands.h"
#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

namespace tc = tarvovcard::cards;

// The columns, in order: a header and how a card fills it.
struct Column {
  const char* header;
  std::string (*read)(const tc::Card& card);
};

std::string Part(const tc::Card& card, const char* property, tc::Part part) {
  const std::vector<tc::Property> found = card.Find(property);
  return found.empty() ? std::string() : found.front().GetPart(part);
}

// The texts of every `property` that has the TYPE (any when `type` is null),
// joined by "; " (a cell may hold several numbers or addresses).
std::string Joined(const tc::Card& card, const char* property, const char* type,
                   const char* not_types = "") {
  std::string joined;
  for (const tc::Property& found : card.Find(property)) {
    if (type && !found.HasType(type)) continue;
    bool excluded = false;
    for (const char* t = not_types; *t; t += std::char_traits<char>::length(t) + 1) {
      excluded |= found.HasType(t);
    }
    if (excluded) continue;
    std::string text;
    if (found.Type() == VCARD_PROP_ADR) {
      // The address's non-empty components, street first.
      for (const tc::Value value : found.GetValues()) {
        const std::string component = value.Text();
        if (component.empty()) continue;
        if (!text.empty()) text += ", ";
        text += component;
      }
    } else {
      text = found.Text();
    }
    if (text.empty()) continue;
    if (!joined.empty()) joined += "; ";
    joined += text;
  }
  return joined;
}

const Column kColumns[] = {
    {"Full name", [](const tc::Card& c) { return c.Text("FN"); }},
    {"Family name", [](const tc::Card& c) { return Part(c, "N", tc::Part::kFamilyName); }},
    {"Given name", [](const tc::Card& c) { return Part(c, "N", tc::Part::kGivenName); }},
    {"Additional names",
     [](const tc::Card& c) { return Part(c, "N", tc::Part::kAdditionalNames); }},
    {"Prefix", [](const tc::Card& c) { return Part(c, "N", tc::Part::kNamePrefix); }},
    {"Suffix", [](const tc::Card& c) { return Part(c, "N", tc::Part::kNameSuffix); }},
    {"Organisation", [](const tc::Card& c) { return Part(c, "ORG", tc::Part::kOrganisationName); }},
    {"Department", [](const tc::Card& c) { return Part(c, "ORG", tc::Part::kOrganisationalUnit); }},
    {"Title", [](const tc::Card& c) { return c.Text("TITLE"); }},
    {"Home phone", [](const tc::Card& c) { return Joined(c, "TEL", "HOME", "FAX\0CELL\0"); }},
    {"Work phone", [](const tc::Card& c) { return Joined(c, "TEL", "WORK", "FAX\0CELL\0"); }},
    {"Mobile phone", [](const tc::Card& c) { return Joined(c, "TEL", "CELL"); }},
    {"Fax", [](const tc::Card& c) { return Joined(c, "TEL", "FAX"); }},
    {"Other phone",
     [](const tc::Card& c) { return Joined(c, "TEL", nullptr, "HOME\0WORK\0CELL\0FAX\0"); }},
    {"E-mail", [](const tc::Card& c) { return Joined(c, "EMAIL", nullptr); }},
    {"Home address", [](const tc::Card& c) { return Joined(c, "ADR", "HOME"); }},
    {"Work address", [](const tc::Card& c) { return Joined(c, "ADR", "WORK"); }},
    {"Other address", [](const tc::Card& c) { return Joined(c, "ADR", nullptr, "HOME\0WORK\0"); }},
    {"URL", [](const tc::Card& c) { return Joined(c, "URL", nullptr); }},
    {"Note", [](const tc::Card& c) { return c.Text("NOTE"); }},
};

// A field as RFC 4180 writes it: in double quotes, doubled inside, when it
// holds a comma, a quote or a line break.
void PutField(std::string& out, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void PutRow(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    PutField(out, fields[i]);
  }
  out += "\r\n";
}

}  // namespace

int RunToCsv(const GlobalOptions& options, Arguments arguments) {
  const Command& command = *FindCommand("to-csv");
  int exit_code = kExitOk;
  const std::optional<OutputAndInputs> read = ReadOutputAndInputs(command, arguments, &exit_code);
  if (!read) return exit_code;
  const std::string& output = read->output;
  const std::vector<std::string>& inputs = read->inputs;
  const bool quiet = read->quiet;

  RuntimeSession session;
  CComPtr<IVCardColl> collection;
  if (FAILED(CreateCollection(options, collection))) return kExitFailed;
  long problems = 0;
  bool all_ok = LoadFiles(collection, inputs, nullptr, quiet, &problems) == S_OK;

  std::string text;
  std::vector<std::string> row;
  for (const Column& column : kColumns) row.push_back(column.header);
  PutRow(text, row);
  const tc::Cards cards(collection);
  try {
    for (const tc::Card card : cards) {
      row.clear();
      for (const Column& column : kColumns) row.push_back(column.read(card));
      PutRow(text, row);
    }
  } catch (const tc::Error& e) {
    std::fprintf(stderr, "tarvovcard: to-csv: %s\n", e.what());
    return kExitFailed;
  }

  if (!WriteFileWhole(output, text)) {
    CheckStep(HRESULT_FROM_WIN32(ERROR_OPEN_FAILED), "write CSV", output,
              SaveFailureCause(output, HRESULT_FROM_WIN32(ERROR_OPEN_FAILED)));
    return kExitFailed;
  }
  std::fprintf(stderr, "tarvovcard: %s; written to %s\n",
               Summary(static_cast<long>(cards.size()), inputs.size(), problems).c_str(),
               output == "-" ? "standard output" : output.c_str());
  return all_ok ? kExitOk : kExitFailed;
}

}  // namespace tarvovcard::tools
