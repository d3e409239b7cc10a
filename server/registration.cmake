# Registration: the registrar, the registration scripts and the type library
# description, stored in the library as text resources.
set(tarvovcard_resource_files
  REGISTRY:101:${CMAKE_CURRENT_LIST_DIR}/scripts/101_VCard.rgs
  REGISTRY:102:${CMAKE_CURRENT_LIST_DIR}/scripts/102_VCardProperty.rgs
  REGISTRY:103:${CMAKE_CURRENT_LIST_DIR}/scripts/103_VCardValue.rgs
  REGISTRY:105:${CMAKE_CURRENT_LIST_DIR}/scripts/105_VCardParameter.rgs
  REGISTRY:106:${CMAKE_CURRENT_LIST_DIR}/scripts/106_VCardColl.rgs
  REGISTRY:107:${CMAKE_CURRENT_LIST_DIR}/scripts/107_VCardParameterColl.rgs
  REGISTRY:108:${CMAKE_CURRENT_LIST_DIR}/scripts/108_VCardPropertyColl.rgs
  REGISTRY:109:${CMAKE_CURRENT_LIST_DIR}/scripts/109_VCardValueColl.rgs
  TYPELIB:1:${CMAKE_CURRENT_LIST_DIR}/tarvovcard.idl
)
set(tarvovcard_resource_paths "")
foreach(item IN LISTS tarvovcard_resource_files)
  string(REGEX REPLACE "^[A-Z]+:[0-9]+:" "" path "${item}")
  list(APPEND tarvovcard_resource_paths "${path}")
endforeach()
set(tarvovcard_resources_cpp ${CMAKE_CURRENT_BINARY_DIR}/generated/resources.cpp)
string(REPLACE ";" "|" tarvovcard_resource_arg "${tarvovcard_resource_files}")
add_custom_command(
  OUTPUT ${tarvovcard_resources_cpp}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${tarvovcard_resources_cpp}
          "-DRESOURCES=${tarvovcard_resource_arg}"
          -P ${CMAKE_CURRENT_LIST_DIR}/scripts/embed.cmake
  DEPENDS ${tarvovcard_resource_paths} ${CMAKE_CURRENT_LIST_DIR}/scripts/embed.cmake
  COMMENT "Embedding the registration scripts and the type library description"
  VERBATIM)
# The object library lives in another folder, so the rule is hung on a target
# of this one.
add_custom_target(tarvovcard_resources DEPENDS ${tarvovcard_resources_cpp})
add_dependencies(tarvovcard_server tarvovcard_resources)

target_sources(tarvovcard_server PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/registrar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/register.cpp
  ${tarvovcard_resources_cpp}
)

# The runtime unloads the library (CoFreeUnusedLibraries) once nothing uses it.
# The dynamic loader never unloads a library that defines a unique global
# symbol (a static inside a standard-library template, such as std::to_string's
# digit table), so the library's objects are compiled without them. Only GCC
# makes such symbols (and knows the option); Clang gives those statics
# ordinary weak binding, so its library unloads as it is.
foreach(layer IN LISTS TARVOVCARD_LAYERS)
  target_compile_options(${layer} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
endforeach()
