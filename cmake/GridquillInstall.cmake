# Install rules: header(s), the versioned shared library, the demo and gridquill-csv, a
# CMake package (find_package(Gridquill) giving Gridquill::gridquill) and gridquill.pc.
include(CMakePackageConfigHelpers)

set(GRIDQUILL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Gridquill)

set_property(TARGET gridquill APPEND PROPERTY PUBLIC_HEADER library/gridquill.hpp)
install(TARGETS gridquill EXPORT GridquillTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
          NAMELINK_COMPONENT Development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

# The installed programs find the library beside them, wherever the prefix is moved; in the
# system's own library folder (a /usr install, the Debian packages) they need no run path.
# gridquill-csv is the tools package's; the demo is installed but packaged nowhere.
file(RELATIVE_PATH bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
foreach(program gridquill_demo:Demo gridquill-csv:Tools)
  string(REPLACE ":" ";" program ${program})
  list(GET program 1 component)
  list(GET program 0 program)
  if(TARGET ${program})
    if(NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT ${component})
  endif()
endforeach()

install(EXPORT GridquillTargets NAMESPACE Gridquill:: DESTINATION ${GRIDQUILL_CMAKE_DIR}
        COMPONENT Development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/GridquillConfig.cmake.in
  ${PROJECT_BINARY_DIR}/GridquillConfig.cmake INSTALL_DESTINATION ${GRIDQUILL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/GridquillConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/GridquillConfig.cmake
              ${PROJECT_BINARY_DIR}/GridquillConfigVersion.cmake
        DESTINATION ${GRIDQUILL_CMAKE_DIR} COMPONENT Development)

# gridquill.pc names its prefix relative to its own folder, so that an install with
# `cmake --install --prefix` elsewhere, or a moved prefix, still finds the right files.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(GRIDQUILL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(GRIDQUILL_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(GRIDQUILL_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(GRIDQUILL_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  set(GRIDQUILL_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(GRIDQUILL_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/gridquill.pc.in ${PROJECT_BINARY_DIR}/gridquill.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/gridquill.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
