# Registration and activation. Every test points the runtime at a registry
# file of its own (tests/server/scratch_registry.h).
tarvovcard_add_test(registry_test
  ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
  LIBS tarvovcard_platform)
tarvovcard_add_test(type_library_test
  ${CMAKE_CURRENT_LIST_DIR}/type_library_test.cpp
  LIBS tarvovcard_objects)
