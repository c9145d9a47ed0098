# The date of a build is that of its sources, not of the moment it ran, so that building the same
# commit twice gives the same man page and packages: SOURCE_DATE_EPOCH when the builder sets it
# (the convention of reproducible builds), else the time of the last commit, and the current time
# only outside a git checkout.
set(KESSA2JSON_RELEASE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
find_package(Git QUIET)
if(KESSA2JSON_RELEASE_EPOCH STREQUAL "" AND Git_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE KESSA2JSON_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()

# Sets <out> to that date in UTC in string(TIMESTAMP)'s <format>. string(TIMESTAMP) reads the date
# from SOURCE_DATE_EPOCH, which is set for that alone when the builder has not set it.
function(kessa2json_release_date out format)
  set(set_here FALSE)
  if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(set_here TRUE)
    set(ENV{SOURCE_DATE_EPOCH} "${KESSA2JSON_RELEASE_EPOCH}")
  endif()
  string(TIMESTAMP date "${format}" UTC)
  if(set_here)
    unset(ENV{SOURCE_DATE_EPOCH})
  endif()
  set(${out} "${date}" PARENT_SCOPE)
endfunction()
