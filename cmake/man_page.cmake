# The man page as built from doc/kessa2json.1: its header line gets the project's version and a
# release date. KESSA2JSON_MAN_PAGE is the page with those filled in; with the install rules on,
# KESSA2JSON_MAN_PAGE_INSTALLED is the form they ship (gzipped where man pages live, as Debian
# wants them), and on Windows, which has no man, KESSA2JSON_MAN_TEXT is the page as plain text.

include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
kessa2json_release_date(KESSA2JSON_RELEASE_DATE "%Y-%m-%d")

set(KESSA2JSON_MAN_PAGE ${PROJECT_BINARY_DIR}/doc/kessa2json.1)
configure_file(${PROJECT_SOURCE_DIR}/doc/kessa2json.1 ${KESSA2JSON_MAN_PAGE} @ONLY)
if(NOT KESSA2JSON_INSTALL)
  return()
endif()

set(KESSA2JSON_MAN_PAGE_INSTALLED ${KESSA2JSON_MAN_PAGE})
if(WIN32)
  find_program(KESSA2JSON_GROFF groff)
  find_program(KESSA2JSON_COL col)
  if(KESSA2JSON_GROFF AND KESSA2JSON_COL)
    # Overstrike for bold and underline, which col -b then removes.
    set(KESSA2JSON_MAN_TEXT ${PROJECT_BINARY_DIR}/doc/kessa2json.txt)
    execute_process(COMMAND ${KESSA2JSON_GROFF} -man -Tascii -P-c ${KESSA2JSON_MAN_PAGE}
      COMMAND ${KESSA2JSON_COL} -bx OUTPUT_FILE ${KESSA2JSON_MAN_TEXT} COMMAND_ERROR_IS_FATAL ANY)
  else()
    message(WARNING "groff and col are needed to render the man page as text for Windows.")
  endif()
else()
  find_program(KESSA2JSON_GZIP gzip REQUIRED)
  # -n leaves out the file's name and time, which would make every build's page differ.
  set(KESSA2JSON_MAN_PAGE_INSTALLED ${KESSA2JSON_MAN_PAGE}.gz)
  execute_process(COMMAND ${KESSA2JSON_GZIP} -9nc ${KESSA2JSON_MAN_PAGE}
    OUTPUT_FILE ${KESSA2JSON_MAN_PAGE_INSTALLED} COMMAND_ERROR_IS_FATAL ANY)
endif()
