# The registry stand-in and activation through it.
target_sources(tarvovcard_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/src/registry.cpp
)
