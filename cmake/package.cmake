# The CMake package of the two libraries, and the install rules of everything the project ships:
# the tool, the language server and the formatter in bin/, the public headers under include/, the static libraries in lib/, the package
# files and the man pages.

include(CMakePackageConfigHelpers)

# The public headers, installed under include/ as they are laid out here. The internal ones
# (pelmo/json/tree_walk.h, kessa/read_machine.h and the like) stay out; no public header includes
# them.
target_sources(pelmo PUBLIC FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES
  pelmo/exception.h
  pelmo/json/byte_writer.h
  pelmo/json/indented_writer.h
  pelmo/json/node.h
  pelmo/json/number_format.h
  pelmo/json/text_sink.h
  pelmo/file/background_sink.h
  pelmo/file/file_io.h
  pelmo/file/file_sink.h
  pelmo/file/input_file.h
  pelmo/file/mapped_file.h
  pelmo/file/native_path.h
  pelmo/file/output_file.h)
target_sources(kessa PUBLIC FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES
  kessa/conversion.h
  kessa/finding_kinds.h
  kessa/findings.h
  kessa/parser.h
  kessa/reader.h
  kessa/scalar.h
  kessa/text_position.h
  kessa/value_text.h)
target_sources(kessa_schema PUBLIC FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES
  kessa/schema.h)
# The libraries are built as C++20; their headers ask no more of a user than C++17.
target_compile_features(pelmo PUBLIC cxx_std_17)

# A project that adds this one with add_subdirectory or FetchContent gets the package from
# find_package(kessa2json) in-tree, with the same kessa2json:: target names as when installed.
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/kessa2json-config.cmake "")
write_basic_package_version_file(
  ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/kessa2json-config-version.cmake
  COMPATIBILITY SameMajorVersion)

if(KESSA2JSON_INSTALL)
  include(GNUInstallDirs)
  set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/kessa2json)

  install(TARGETS kessa2json kessa-language-server kessafmt json2kessa COMPONENT runtime)
  # INCLUDES names the include directory for users whose CMake predates header file sets.
  install(TARGETS pelmo kessa kessa_validator kessa_schema EXPORT kessa2json-targets COMPONENT dev FILE_SET HEADERS
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT kessa2json-targets NAMESPACE kessa2json:: DESTINATION ${package_dir}
    COMPONENT dev)

  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kessa2json-config.cmake.in
    ${PROJECT_BINARY_DIR}/kessa2json-config.cmake
    INSTALL_DESTINATION ${package_dir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/kessa2json-config-version.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES
    ${PROJECT_BINARY_DIR}/kessa2json-config.cmake
    ${PROJECT_BINARY_DIR}/kessa2json-config-version.cmake
    DESTINATION ${package_dir} COMPONENT dev)

  install(FILES ${KESSA2JSON_MAN_PAGES_INSTALLED} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT man)
endif()
