# Release packages, made by CPack from the install rules; scripts/release.sh builds them all.
#   Linux:   kessa2json_<version>_amd64.deb (the tool, the language server, the formatter and their
#            man pages),
#            kessa2json-dev_<version>_amd64.deb (headers, static libraries, CMake package),
#            and kessa2json-<version>-linux-amd64.tar.gz with the files of both, its programs
#            statically linked where KESSA2JSON_STATIC_PROGRAMS is on (and -linux-arm64 likewise
#            for a build for 64-bit ARM).
#   Windows: kessa2json-<version>-win64.zip: the programs, their documents (the README with the
#            pages of doc/ it links to), the man pages as text.
# The install components: runtime (the tool, the language server and the formatter), man (their pages) and dev (everything a program that
# embeds the libraries needs).

set(KESSA2JSON_MAINTAINER "kessa2json authors <kessa2json@example.org>" CACHE STRING
  "The Debian packages' maintainer, as a name and an address.")

set(CPACK_PACKAGE_NAME kessa2json)
set(CPACK_STRIP_FILES ON)
# Packages list every directory with these modes, whatever the umask of the machine that builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # One zip of what a user runs and reads; the libraries stay with the Linux -dev package.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL runtime)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION . COMPONENT runtime)
  # The pages the README's links lead to, beside it as in the sources.
  file(GLOB doc_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/doc/*.md)
  install(FILES ${doc_pages} ${PROJECT_SOURCE_DIR}/doc/page.png DESTINATION doc COMPONENT runtime)
  if(KESSA2JSON_MAN_TEXTS)
    install(FILES ${KESSA2JSON_MAN_TEXTS} DESTINATION . COMPONENT runtime)
  endif()
else()
  set(CPACK_GENERATOR DEB TGZ)
  # Debian's names of the architectures.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(linux_architecture arm64)
  else()
    set(linux_architecture amd64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${linux_architecture})
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)

  # Two Debian packages: the tool with its page, and the development files. The static libraries
  # and the CMake package need nothing from the tool, so kessa2json-dev does not depend on it.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  include(CPackComponent)
  cpack_add_component_group(main)
  cpack_add_component(runtime GROUP main)
  cpack_add_component(man GROUP main)
  cpack_add_component(dev GROUP dev)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_MAIN_PACKAGE_NAME kessa2json)
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME kessa2json-dev)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESSA2JSON_MAINTAINER}")
  set(CPACK_DEBIAN_MAIN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_MAIN_DESCRIPTION [[
convert the kessa key=value notation into indented JSON
kessa2json reads a file of key=value lines, with braces for nested
objects and arrays and double quotes for verbatim text, and writes the
same data as indented JSON. Keys and strings pass through byte for byte
apart from the five JSON escapes, values become integers, floats or
strings by their text, and any nesting depth that fits in memory is
handled. A file it cannot convert is reported without touching the
output. kessa-language-server brings what kessa2json --check finds,
an outline, hovers, quick fixes and the JSON of a file to editors over
the Language Server Protocol. kessafmt lays kessa files out in one
layout without changing the JSON they convert to, and json2kessa writes
JSON as kessa text, naming each value that no kessa text gives.]])
  set(CPACK_DEBIAN_DEV_DESCRIPTION [[
kessa reader and JSON document libraries (development files)
The static libraries behind kessa2json, with their C++17 headers and a
CMake package that provides the targets kessa2json::kessa (the kessa
parser and the typing of values) and kessa2json::pelmo (the JSON node
tree with compact, indented and binary output, and whole-file I/O).
find_package(kessa2json CONFIG) finds them.]])

  # Debian wants a copyright file and, in a package whose version has no Debian revision, a
  # changelog in Debian's own format in each package's documents.
  kessa2json_release_date(debian_date "%a, %d %b %Y %H:%M:%S +0000")
  set(debian_changelog ${PROJECT_BINARY_DIR}/debian/changelog)
  file(CONFIGURE OUTPUT ${debian_changelog} @ONLY CONTENT [[
kessa2json (@PROJECT_VERSION@) unstable; urgency=medium

  * Release @PROJECT_VERSION@; CHANGELOG.md in the sources lists what it brings.

 -- @KESSA2JSON_MAINTAINER@  @debian_date@
]])
  execute_process(COMMAND ${KESSA2JSON_GZIP} -9nc ${debian_changelog}
    OUTPUT_FILE ${debian_changelog}.gz COMMAND_ERROR_IS_FATAL ANY)
  set(doc_packages kessa2json kessa2json-dev)
  set(doc_components runtime dev)
  foreach(package component IN ZIP_LISTS doc_packages doc_components)
    set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc_dir} RENAME copyright
      COMPONENT ${component})
    install(FILES ${debian_changelog}.gz DESTINATION ${doc_dir} RENAME changelog.gz
      COMPONENT ${component})
  endforeach()

  if(KESSA2JSON_STATIC_PROGRAMS)
    # The tarball holds the static programs, and the .deb the ones Debian's way: the component
    # "static" stands in the tarball for "runtime", with the same documents.
    install(TARGETS kessa2json-static kessa-language-server-static kessafmt-static json2kessa-static
      COMPONENT static)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kessa2json
      RENAME copyright COMPONENT static)
    install(FILES ${debian_changelog}.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kessa2json
      RENAME changelog.gz COMPONENT static)
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_static.cmake)
  endif()
endif()

include(CPack)
