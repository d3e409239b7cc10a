# Writes a C++ source that holds resource files as text, for
# EmbeddedResources() (server/registrar.h). Run as
#   cmake -DOUTPUT=<file.cpp> -DRESOURCES=<TYPE:NUMBER:path|...> -P embed.cmake
# Each file goes into a raw string literal whose delimiter the file must not
# contain; the build stops if one does.
set(delimiter "tvres")
set(body "")
set(table "")
set(index 0)
string(REPLACE "|" ";" resources "${RESOURCES}")
foreach(item IN LISTS resources)
  string(REGEX MATCH "^([A-Z]+):([0-9]+):(.+)$" matched "${item}")
  if(NOT matched)
    message(FATAL_ERROR "embed.cmake: malformed resource '${item}'")
  endif()
  set(type "${CMAKE_MATCH_1}")
  set(number "${CMAKE_MATCH_2}")
  set(path "${CMAKE_MATCH_3}")
  file(READ "${path}" text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "embed.cmake: ${path} contains the literal's delimiter")
  endif()
  string(APPEND body "constexpr char kResource${index}[] = R\"${delimiter}(${text})${delimiter}\";\n")
  string(APPEND table "    {\"${type}\", ${number}, {kResource${index}, sizeof kResource${index} - 1}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated at build time by server/scripts/embed.cmake: do not edit.
#include \"server/registrar.h\"

namespace tarvovcard::server {
namespace {

${body}
constexpr EmbeddedResource kResources[] = {
${table}};

}  // namespace

std::span<const EmbeddedResource> EmbeddedResources() noexcept { return kResources; }

}  // namespace tarvovcard::server
")
# Only a changed source is rebuilt.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
