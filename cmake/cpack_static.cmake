# Read by cpack for each generator where KESSA2JSON_STATIC_PROGRAMS is on: the tarball takes the
# static programs (component "static") where the .deb takes the others (component "runtime").
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENTS_ALL static man dev)
else()
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL static)
endif()
