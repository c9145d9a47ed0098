# The man pages as built from doc/: each page's header line gets the project's version and a
# release date. For each page NAME, KESSA2JSON_MAN_PAGES lists the page with those filled in;
# with the install rules on, KESSA2JSON_MAN_PAGES_INSTALLED lists the form they ship (gzipped
# where man pages live, as Debian wants them), and on Windows, which has no man,
# KESSA2JSON_MAN_TEXTS the pages as plain text. KESSA2JSON_MAN_PAGE is the tool's own page.

include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
kessa2json_release_date(KESSA2JSON_RELEASE_DATE "%Y-%m-%d")

if(KESSA2JSON_INSTALL)
  if(WIN32)
    find_program(KESSA2JSON_GROFF groff)
    find_program(KESSA2JSON_COL col)
    if(NOT KESSA2JSON_GROFF OR NOT KESSA2JSON_COL)
      message(WARNING "groff and col are needed to render the man pages as text for Windows.")
    endif()
  else()
    find_program(KESSA2JSON_GZIP gzip REQUIRED)
  endif()
endif()

set(KESSA2JSON_MAN_PAGES)
set(KESSA2JSON_MAN_PAGES_INSTALLED)
set(KESSA2JSON_MAN_TEXTS)
foreach(name kessa2json kessa-language-server kessafmt json2kessa)
  set(page ${PROJECT_BINARY_DIR}/doc/${name}.1)
  configure_file(${PROJECT_SOURCE_DIR}/doc/${name}.1 ${page} @ONLY)
  list(APPEND KESSA2JSON_MAN_PAGES ${page})
  if(NOT KESSA2JSON_INSTALL)
    continue()
  endif()
  if(WIN32)
    if(KESSA2JSON_GROFF AND KESSA2JSON_COL)
      # Overstrike for bold and underline, which col -b then removes.
      set(text ${PROJECT_BINARY_DIR}/doc/${name}.txt)
      execute_process(COMMAND ${KESSA2JSON_GROFF} -man -Tascii -P-c ${page}
        COMMAND ${KESSA2JSON_COL} -bx OUTPUT_FILE ${text} COMMAND_ERROR_IS_FATAL ANY)
      list(APPEND KESSA2JSON_MAN_TEXTS ${text})
    endif()
    list(APPEND KESSA2JSON_MAN_PAGES_INSTALLED ${page})
  else()
    # -n leaves out the file's name and time, which would make every build's page differ.
    execute_process(COMMAND ${KESSA2JSON_GZIP} -9nc ${page} OUTPUT_FILE ${page}.gz
      COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND KESSA2JSON_MAN_PAGES_INSTALLED ${page}.gz)
  endif()
endforeach()
list(GET KESSA2JSON_MAN_PAGES 0 KESSA2JSON_MAN_PAGE)
