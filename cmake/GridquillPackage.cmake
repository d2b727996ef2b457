# Debian packages with CPack (`cmake --workflow --preset package`, or cpack -G DEB in a build
# configured with CMAKE_INSTALL_PREFIX=/usr): the runtime package named after the soname, the
# development package (headers, CMake package, pkg-config file, API reference and man pages)
# and the tools package (gridquill-csv and its man page). Each carries the copyright and
# both changelogs; dpkg-shlibdeps computes what they depend on.
set(GRIDQUILL_RUNTIME_PACKAGE libgridquill${PROJECT_VERSION_MAJOR})
set(GRIDQUILL_DEV_PACKAGE libgridquill-dev)
set(GRIDQUILL_TOOLS_PACKAGE gridquill-tools)
set(GRIDQUILL_DEV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${GRIDQUILL_DEV_PACKAGE})
# The maintainer the packages name; a distribution's packager sets its own.
set(GRIDQUILL_MAINTAINER "Gridquill maintainers <gridquill@localhost>" CACHE STRING
    "Maintainer field of the Debian packages")

# Per package: /usr/share/doc/<package>/{copyright,changelog.gz,changelog.Debian.gz}, the
# changelogs compressed as Debian's are (gzip -n: the same bytes every build). The Debian
# changelog's entries are signed by the maintainer the packages name.
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
foreach(changelog ${PROJECT_SOURCE_DIR}/CHANGELOG.md:changelog
                  ${PROJECT_BINARY_DIR}/packaging/changelog.Debian:changelog.Debian)
  string(REPLACE ":" ";" changelog ${changelog})
  list(GET changelog 0 source)
  list(GET changelog 1 name)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${source} > ${PROJECT_BINARY_DIR}/packaging/${name}.gz
    DEPENDS ${source})
  list(APPEND changelogs ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
endforeach()
add_custom_target(changelogs ALL DEPENDS ${changelogs})
foreach(component Runtime Development Tools)
  string(TOUPPER ${component} upper)
  string(REPLACE "DEVELOPMENT" "DEV" upper ${upper})
  install(FILES packaging/copyright ${changelogs}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${GRIDQUILL_${upper}_PACKAGE}
          COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gridquill)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Gridquill")
set(CPACK_PACKAGE_CONTACT "${GRIDQUILL_MAINTAINER}")
# Each package has its own summary: the first line of its description below.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# gridquill-csv links the library of this build: dpkg-shlibdeps finds it here, and the
# dependency on the runtime package comes from the components' own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${GRIDQUILL_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file (libgridquill 1 libgridquill1 (>= 1.1.0)), and the ldconfig trigger in place
# of the ldconfig calls CPack would put into postinst and postrm (their own stand there).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/runtime/triggers
    ${PROJECT_SOURCE_DIR}/packaging/runtime/postinst ${PROJECT_SOURCE_DIR}/packaging/runtime/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
string(CONCAT CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "library that streams XML Spreadsheet 2003 workbooks\n"
  "Gridquill writes spreadsheet workbooks in the XML Spreadsheet 2003 format\n"
  "row by row, in fixed memory, through a C interface; it can also merge into\n"
  "an existing workbook.\n"
  "This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${GRIDQUILL_DEV_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
# The CMake package and gridquill.pc ask for expat's (find_dependency, Requires.private).
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libexpat1-dev")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "library that streams XML Spreadsheet 2003 workbooks - development files\n"
  "Gridquill writes spreadsheet workbooks in the XML Spreadsheet 2003 format\n"
  "row by row, in fixed memory, through a C interface; it can also merge into\n"
  "an existing workbook.\n"
  "This package holds the C and C++ headers, the CMake package, the pkg-config\n"
  "file, the API reference in HTML and the man pages of every call.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${GRIDQUILL_TOOLS_PACKAGE})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS Runtime)
string(CONCAT CPACK_DEBIAN_TOOLS_DESCRIPTION
  "CSV and TSV files to XML Spreadsheet 2003 workbooks\n"
  "gridquill-csv turns CSV and TSV files into one workbook, a worksheet per\n"
  "file, with numbers and dates typed and a frozen, filtered header, in fixed\n"
  "memory; it can also replace or continue worksheets of an existing workbook.")
include(CPack)
