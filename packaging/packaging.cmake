# The packages for users, made by scripts/package.sh with CPack: a .deb from
# the native Linux build, a .zip from the MinGW-w64 build. Each holds the two
# programs (stripped), their documentation and the licence; the reader library
# and its CMake package come with `cmake --install` from source.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The zanvo-extract developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of Debian's width; the .deb's extended description.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "zanvo-extract recognises an image of the title's Disk A or Disk F and cuts\n"
       "that disk's data files out of it, byte for byte, into the current folder.\n"
       "d88info shows what any D88 image holds: its disks, tracks, record IDs and a\n"
       "sector map, and exports a disk as a plain sector image.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The source tarball comes from `git archive` (scripts/package.sh); should
# anyone run CPack's source package, keep builds and packages out of it.
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/dist/" "/\\\\.cache/")

set(ZANVO_DEB_MAINTAINER "The zanvo-extract developers"
    CACHE STRING "The .deb's Maintainer field: a name and an e-mail address")

set(zanvo_pkg ${PROJECT_BINARY_DIR}/packaging)
if(WIN32)
  # A folder to unzip anywhere: the two programs at its top, the licence and a
  # readme as text files with CR LF so that any Windows editor shows them.
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${zanvo_pkg}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt ${zanvo_pkg}/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(TARGETS zanvo-extract d88info RUNTIME DESTINATION . COMPONENT zip EXCLUDE_FROM_ALL)
  install(FILES ${zanvo_pkg}/LICENSE.txt ${zanvo_pkg}/README.txt DESTINATION . COMPONENT zip
          EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};zip;/")
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CMAKE_CROSSCOMPILING)
  # Debian's places: gzipped manual pages, the licence as the copyright file.
  find_program(ZANVO_GZIP gzip)
  foreach(page IN LISTS zanvo_man_pages)
    if(ZANVO_GZIP)
      if(page IS_NEWER_THAN ${page}.gz)
        execute_process(COMMAND ${ZANVO_GZIP} -9n -c ${page} OUTPUT_FILE ${page}.gz COMMAND_ERROR_IS_FATAL ANY)
      endif()
      set(page ${page}.gz)
    endif()
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT deb EXCLUDE_FROM_ALL)
  endforeach()
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)

  set(CPACK_GENERATOR DEB)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};programs;/;${PROJECT_BINARY_DIR};${PROJECT_NAME};deb;/")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZANVO_DEB_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Linked statically: nothing to depend on, not even the C library.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
endif()
include(CPack)
