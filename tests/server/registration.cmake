# Registration and activation. Every test points the runtime at a registry
# file of its own (tests/server/scratch_registry.h).
tarvovcard_add_test(registry_test
  ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
  LIBS tarvovcard_platform)
tarvovcard_add_test(registrar_test
  ${CMAKE_CURRENT_LIST_DIR}/registrar_test.cpp
  LIBS tarvovcard_objects)
tarvovcard_add_test(type_library_test
  ${CMAKE_CURRENT_LIST_DIR}/type_library_test.cpp
  LIBS tarvovcard_objects)

# A client program that does not link the library: it registers the built
# library file and reaches it through the registry only.
tarvovcard_add_test(registered_activation_test
  ${CMAKE_CURRENT_LIST_DIR}/registered_activation_test.cpp
  LIBS tarvovcard_platform ${CMAKE_DL_LIBS})
target_include_directories(registered_activation_test PRIVATE ${PROJECT_SOURCE_DIR}/model/include)
target_compile_definitions(registered_activation_test PRIVATE
  TARVOVCARD_LIBRARY_FILE="$<TARGET_FILE:tarvovcard>")
add_dependencies(registered_activation_test tarvovcard)

# The command-line client's register, unregister and --progid.
tarvovcard_add_test(cli_registration_test
  ${CMAKE_CURRENT_LIST_DIR}/cli_registration_test.cpp
  LIBS tarvovcard_platform)
target_compile_definitions(cli_registration_test PRIVATE
  TARVOVCARD_CLI="$<TARGET_FILE:tarvovcard_cli>"
  TARVOVCARD_LIBRARY_FILE="$<TARGET_FILE:tarvovcard>")
add_dependencies(cli_registration_test tarvovcard_cli tarvovcard)
