# What an install holds and how it is packed. Included from the top-level
# CMakeLists.txt once the targets exist.
#
# Linux (GNUInstallDirs): bin/zedid, lib/libzedid.so.1 with its links,
# include/zedid.h, the CMake package (find_package(zedid) -> zedid::zedid),
# lib/pkgconfig/zedid.pc, the man page and the documentation; debian/
# splits an install into /usr into the Debian packages.
# Windows: one flat folder, as a host wants it: zedid.dll, zedid.exe beside
# it (it loads the DLL from its own folder), zedid.h and the documentation
# with docs/messages.txt; CPack makes a zip. Hosts load the DLL by name, so
# no import library, CMake package or pkg-config file is shipped there.

set(ZEDID_DOCS README.md LICENSE)
set(ZEDID_DOC_PAGES docs/architecture.md docs/format.md docs/limits.md docs/performance.md)
set(ZEDID_EXAMPLES examples/README.md examples/worked.ONL examples/board.ONL)

if(WIN32)
  install(TARGETS zedid
    RUNTIME DESTINATION .
    ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
  install(TARGETS zedid_cli RUNTIME DESTINATION .)
  install(FILES ${ZEDID_PUBLIC_INCLUDE}/zedid.h ${ZEDID_DOCS} DESTINATION .)
  set(ZEDID_DOC_DESTINATION .)

  # No man on Windows: what the manual page says of every message, and what
  # to do, goes along as docs/messages.txt, rendered from the page.
  find_program(ZEDID_GROFF groff)
  if(NOT ZEDID_GROFF)
    message(FATAL_ERROR "groff renders docs/messages.txt from the manual page (Debian: groff-base)")
  endif()
  set(ZEDID_MESSAGES_TEXT ${PROJECT_BINARY_DIR}/docs/messages.txt)
  add_custom_command(OUTPUT ${ZEDID_MESSAGES_TEXT}
    COMMAND ${CMAKE_COMMAND} -DGROFF=${ZEDID_GROFF} -DPAGE=${PROJECT_SOURCE_DIR}/docs/zedid.1
      -DOUTPUT=${ZEDID_MESSAGES_TEXT} -P ${PROJECT_SOURCE_DIR}/cmake/render-messages.cmake
    DEPENDS docs/zedid.1 cmake/render-messages.cmake
    COMMENT "Rendering docs/messages.txt from the manual page")
  add_custom_target(zedid_messages ALL DEPENDS ${ZEDID_MESSAGES_TEXT})
  install(FILES ${ZEDID_MESSAGES_TEXT} DESTINATION docs)
else()
  install(TARGETS zedid EXPORT zedidTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(TARGETS zedid_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ZEDID_PUBLIC_INCLUDE}/zedid.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES docs/zedid.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${ZEDID_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(ZEDID_DOC_DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # The CMake package. Every path in it is relative to where it is found,
  # so the same files serve /usr, /usr/local and a staging folder.
  include(CMakePackageConfigHelpers)
  set(ZEDID_CMAKE_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zedid)
  install(EXPORT zedidTargets NAMESPACE zedid:: DESTINATION ${ZEDID_CMAKE_DESTINATION})
  configure_package_config_file(cmake/zedidConfig.cmake.in ${PROJECT_BINARY_DIR}/zedidConfig.cmake
    INSTALL_DESTINATION ${ZEDID_CMAKE_DESTINATION} NO_SET_AND_CHECK_MACRO NO_CHECK_REQUIRED_COMPONENTS_MACRO)
  # The export and its arguments are the whole interface: any 1.x serves a
  # consumer that asked for 1.y with y <= x.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/zedidConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/zedidConfig.cmake ${PROJECT_BINARY_DIR}/zedidConfigVersion.cmake
    DESTINATION ${ZEDID_CMAKE_DESTINATION})

  # zedid.pc finds its prefix from its own folder (pkg-config's pcfiledir),
  # for the same reason. Installed into /usr it names /usr itself, so that
  # pkg-config recognises the system's folders and prints no -I or -L for
  # them.
  set(ZEDID_PKGCONFIG_DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(ZEDID_PC_PREFIX /usr)
  else()
    file(RELATIVE_PATH ZEDID_PC_TO_PREFIX /prefix/${ZEDID_PKGCONFIG_DESTINATION} /prefix)
    string(REGEX REPLACE "/$" "" ZEDID_PC_TO_PREFIX "${ZEDID_PC_TO_PREFIX}")
    set(ZEDID_PC_PREFIX "\${pcfiledir}/${ZEDID_PC_TO_PREFIX}")
  endif()
  foreach(dir INCLUDEDIR LIBDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
      set(ZEDID_PC_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
      set(ZEDID_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
  endforeach()
  configure_file(cmake/zedid.pc.in ${PROJECT_BINARY_DIR}/zedid.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/zedid.pc DESTINATION ${ZEDID_PKGCONFIG_DESTINATION})
endif()
install(FILES ${ZEDID_DOC_PAGES} DESTINATION ${ZEDID_DOC_DESTINATION}/docs)
install(FILES ${ZEDID_EXAMPLES} DESTINATION ${ZEDID_DOC_DESTINATION}/examples)

# ---- CPack: the Windows zips -------------------------------------------------
# (The Linux packages come from debian/, through dpkg-buildpackage.)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZEDID_WINDOWS_ARCH x64)
  else()
    set(ZEDID_WINDOWS_ARCH x86)
  endif()
  set(CPACK_PACKAGE_NAME zedid)
  set(CPACK_PACKAGE_VENDOR "the zedid developers")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "netlist formatter: intermediate netlists (.ONL) to layout netlists")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
  set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
  set(CPACK_GENERATOR ZIP)
  # The zip holds the very DLL and program the Windows suite ran, so the
  # checks of the shipped files are those of the tested ones: the program
  # is stripped when it is linked (CMakeLists.txt), the DLL keeps its
  # symbols.
  set(CPACK_STRIP_FILES OFF)
  set(CPACK_PACKAGE_FILE_NAME zedid-${PROJECT_VERSION}-windows-${ZEDID_WINDOWS_ARCH})
  include(CPack)
endif()
