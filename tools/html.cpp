// to-html: load vCard files and render their cards as an HTML contact sheet,
// through the XML that SaveAsXML writes and a stylesheet (the shipped one,
// share/tarvovcard/contact-sheet.xsl, unless --xsl names another), applied
// with libxslt. Browsers no longer apply the stylesheets that XML names, so
// the page is made here.
#include <libxml/parser.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tools/client.h"
#include "tools/commands.h"
#include "tools/library.h"
#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

struct FreeStylesheet {
  void operator()(xsltStylesheetPtr s) const { xsltFreeStylesheet(s); }
};
struct FreeDocument {
  void operator()(xmlDocPtr d) const { xmlFreeDoc(d); }
};
using Stylesheet = std::unique_ptr<xsltStylesheet, FreeStylesheet>;
using Document = std::unique_ptr<xmlDoc, FreeDocument>;

// libxml2 and libxslt report on stderr with the file and line; the errors
// are kept, with a prefix, rather than dropped.
void ReportXmlError(void*, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::fputs("tarvovcard: to-html: ", stderr);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

}  // namespace

int RunToHtml(const GlobalOptions& options, Arguments arguments) {
  const Command& command = *FindCommand("to-html");
  std::string stylesheet_file = DataFilePath("contact-sheet.xsl");
  int exit_code = kExitOk;
  const std::optional<OutputAndInputs> read =
      ReadOutputAndInputs(command, arguments, &exit_code, "--xsl", &stylesheet_file);
  if (!read) return exit_code;
  const std::string& output = read->output;
  const std::vector<std::string>& inputs = read->inputs;
  const bool quiet = read->quiet;

  xmlSetGenericErrorFunc(nullptr, ReportXmlError);
  xsltSetGenericErrorFunc(nullptr, ReportXmlError);
  const Stylesheet stylesheet(
      xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(stylesheet_file.c_str())));
  if (!stylesheet) {
    std::fprintf(stderr, "tarvovcard: to-html: the stylesheet %s cannot be read\n",
                 stylesheet_file.c_str());
    return kExitFailed;
  }

  RuntimeSession session;
  CComPtr<IVCardColl> collection;
  if (FAILED(CreateCollection(options, collection))) return kExitFailed;
  long problems = 0;
  bool all_ok = LoadFiles(collection, inputs, nullptr, quiet, &problems) == S_OK;

  // The XML in a scratch file, as SaveAsXML writes it, read back by libxml2.
  char folder[] = "/tmp/tarvovcard-html-XXXXXX";
  if (!::mkdtemp(folder)) {
    std::fprintf(stderr, "tarvovcard: to-html: cannot make a scratch folder\n");
    return kExitFailed;
  }
  const std::string xml_file = std::string(folder) + "/cards.xml";
  CComVariant xml_name;
  xml_name.bstrVal = ToBstr(xml_file).Detach();
  xml_name.vt = VT_BSTR;
  const HRESULT saved = collection->SaveAsXML(xml_name, CComBSTR(u""));
  Document document;
  if (CheckStep(saved, "save as XML", xml_file)) {
    document.reset(xmlReadFile(xml_file.c_str(), nullptr, XML_PARSE_NONET));
  }
  ::unlink(xml_file.c_str());
  ::rmdir(folder);
  if (!document) return kExitFailed;

  const Document page(xsltApplyStylesheet(stylesheet.get(), document.get(), nullptr));
  xmlChar* html = nullptr;
  int length = 0;
  if (!page || xsltSaveResultToString(&html, &length, page.get(), stylesheet.get()) != 0) {
    std::fprintf(stderr, "tarvovcard: to-html: the stylesheet %s failed\n",
                 stylesheet_file.c_str());
    return kExitFailed;
  }
  const std::string text(reinterpret_cast<const char*>(html), static_cast<std::size_t>(length));
  xmlFree(html);
  if (!WriteFileWhole(output, text)) {
    CheckStep(HRESULT_FROM_WIN32(ERROR_OPEN_FAILED), "write HTML", output,
              SaveFailureCause(output, HRESULT_FROM_WIN32(ERROR_OPEN_FAILED)));
    return kExitFailed;
  }
  LONG count = 0;
  collection->get_Count(&count);
  std::fprintf(stderr, "tarvovcard: %s; written to %s\n",
               Summary(count, inputs.size(), problems).c_str(),
               output == "-" ? "standard output" : output.c_str());
  return all_ok ? kExitOk : kExitFailed;
}

}  // namespace tarvovcard::tools
