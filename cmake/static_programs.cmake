# kessa2json-static, kessa-language-server-static, kessafmt-static and json2kessa-static: the
# programs built from the same sources and libraries as the others, linked statically
# as position-independent executables, into static/ under their own names. They go into the "static" install component,
# which the tarball holds instead of "runtime".

if(WIN32)
  message(FATAL_ERROR "KESSA2JSON_STATIC_PROGRAMS is for Linux; the Windows programs are static already.")
endif()

foreach(program kessa2json kessa-language-server kessafmt json2kessa)
  get_target_property(sources ${program} SOURCES)
  get_target_property(definitions ${program} COMPILE_DEFINITIONS)
  get_target_property(libraries ${program} LINK_LIBRARIES)
  # libcurl has no static library that links alone: these fetch nothing, and use the cache.
  list(TRANSFORM libraries REPLACE "^kessa_fetch$" kessa_fetch_none)
  add_executable(${program}-static ${sources})
  target_compile_definitions(${program}-static PRIVATE ${definitions})
  target_link_libraries(${program}-static PRIVATE ${libraries})
  target_link_options(${program}-static PRIVATE -static-pie)
  set_target_properties(${program}-static PROPERTIES OUTPUT_NAME ${program}
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/static)
endforeach()
