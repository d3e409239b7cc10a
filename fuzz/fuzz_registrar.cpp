// The registration script reader on any text: it parses or reports an error,
// and never crashes or overruns.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/registrar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tarvovcard::server::RegistrarVariables variables = {
      {u"MODULE", u"/usr/lib/libtarvovcard.so.1"}};
  std::vector<tarvovcard::server::ScriptKey> keys;
  std::string error;
  tarvovcard::server::ParseRegistrationScript(
      std::string_view(reinterpret_cast<const char*>(data), size), variables, &keys, &error);
  return 0;
}
