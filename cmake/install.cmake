# Installation: the client's header tree, the two shared libraries, a
# pkg-config file and a CMake package.
#
#   cmake --install build --prefix P
#
# gives P/include/tarvovcard/{tarvovcard.h,automation_types.h,platform.h,platform/*.h},
# P/lib/libtarvovcard.so and P/lib/libtarvovcard_platform.so,
# P/lib/pkgconfig/tarvovcard.pc and P/lib/cmake/TarvovCard/. Both the .pc file
# and the CMake package locate the prefix from their own place, so an install
# can be moved or made into any prefix after configuring.
include(CMakePackageConfigHelpers)

set(TARVOVCARD_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TarvovCard)
set(TARVOVCARD_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The component library finds the runtime beside itself.
set_target_properties(tarvovcard PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS tarvovcard tarvovcard_platform
  EXPORT TarvovCardTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(FILES
  ${PROJECT_SOURCE_DIR}/model/include/tarvovcard/tarvovcard.h
  ${PROJECT_SOURCE_DIR}/model/include/tarvovcard/automation_types.h
  ${PROJECT_SOURCE_DIR}/model/include/tarvovcard/status.h
  ${PROJECT_SOURCE_DIR}/model/include/tarvovcard/cards.hpp
  ${PROJECT_SOURCE_DIR}/platform/include/tarvovcard/platform.h
  ${PROJECT_SOURCE_DIR}/platform/include/tarvovcard/text.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvovcard)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/include/tarvovcard/platform/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvovcard/platform
  FILES_MATCHING PATTERN "*.h")

# CMake package: find_package(TarvovCard) gives TarvovCard::tarvovcard (which
# brings TarvovCard::tarvovcard_platform along).
install(EXPORT TarvovCardTargets
  NAMESPACE TarvovCard::
  DESTINATION ${TARVOVCARD_CMAKE_DIR})
file(WRITE ${PROJECT_BINARY_DIR}/cmake/TarvovCardConfig.cmake
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/TarvovCardTargets.cmake\")\n")
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/TarvovCardConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/cmake/TarvovCardConfig.cmake
  ${PROJECT_BINARY_DIR}/cmake/TarvovCardConfigVersion.cmake
  DESTINATION ${TARVOVCARD_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own folder; the run path
# lets a program built with it start without LD_LIBRARY_PATH.
file(RELATIVE_PATH TARVOVCARD_PC_TO_PREFIX "/prefix/${TARVOVCARD_PKGCONFIG_DIR}" "/prefix")
string(REGEX REPLACE "/$" "" TARVOVCARD_PC_TO_PREFIX "${TARVOVCARD_PC_TO_PREFIX}")
file(WRITE ${PROJECT_BINARY_DIR}/cmake/tarvovcard.pc
"prefix=\${pcfiledir}/${TARVOVCARD_PC_TO_PREFIX}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}

Name: tarvovcard
Description: vCard 2.1 component library with its runtime stand-in
Version: ${PROJECT_VERSION}
Cflags: -I\${includedir}
Libs: -L\${libdir} -Wl,-rpath,\${libdir} -ltarvovcard -ltarvovcard_platform
")
install(FILES ${PROJECT_BINARY_DIR}/cmake/tarvovcard.pc DESTINATION ${TARVOVCARD_PKGCONFIG_DIR})

# The command-line client, which finds both libraries in the install's own lib
# folder wherever the install is moved.
set_target_properties(tarvovcard_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${TARVOVCARD_BIN_TO_LIB}")
install(TARGETS tarvovcard_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The stylesheets (to-html, to-xml --xsl).
install(FILES ${PROJECT_SOURCE_DIR}/share/contact-sheet.xsl
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvovcard)

# The manual page, the documentation and the examples.
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/tarvovcard.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
file(GLOB TARVOVCARD_DOC_PAGES ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TARVOVCARD_DOC_PAGES}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/examples/README.md
  ${PROJECT_SOURCE_DIR}/examples/build_card.cpp
  ${PROJECT_SOURCE_DIR}/examples/phone_list.cpp
  ${PROJECT_SOURCE_DIR}/examples/sample.vcf
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# A Debian package of the install: cpack -G DEB in the build folder. It holds
# the libraries, the client, the headers, the CMake and pkg-config files, the
# manual page and the documentation, under /usr.
set(CPACK_PACKAGE_NAME tarvovcard)
set(CPACK_PACKAGE_VENDOR "TarvovCard")
set(CPACK_PACKAGE_CONTACT "TarvovCard developers <tarvovcard@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vCard 2.1 component library and its command-line client")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
include(CPack)
