#include "tools/status.h"

#include <cstdio>

namespace tarvovcard::tools {

std::string FormatStatus(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

bool CheckStep(HRESULT status, const std::string& step, const std::string& file) {
  return CheckStep(status, step, file, {});
}

bool CheckStep(HRESULT status, const std::string& step, const std::string& file,
               const std::string& cause) {
  if (status == S_OK) return true;
  std::fprintf(stderr, "tarvovcard: %s%s%s: %s %s%s%s%s\n", step.c_str(), file.empty() ? "" : " ",
               file.c_str(), FormatStatus(status).c_str(), StatusMeaning(status),
               cause.empty() ? "" : " (", cause.c_str(), cause.empty() ? "" : ")");
  return false;
}

}  // namespace tarvovcard::tools
