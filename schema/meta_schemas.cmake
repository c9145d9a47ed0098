# Writes the meta-schemas of schema/meta into a source file of the validator, each a raw string
# under its URI: the library carries them, and reads no file for them at run time.
function(kessa2json_meta_schemas output)
  set(dir ${PROJECT_SOURCE_DIR}/schema/meta)
  set(entries "")
  set(files
    "http://json-schema.org/draft-04/schema|draft-04/schema.json"
    "http://json-schema.org/draft-06/schema|draft-06/schema.json"
    "http://json-schema.org/draft-07/schema|draft-07/schema.json"
    "https://json-schema.org/draft/2019-09/schema|2019-09/schema.json"
    "https://json-schema.org/draft/2020-12/schema|2020-12/schema.json")
  foreach(name core applicator validation meta-data format content)
    list(APPEND files "https://json-schema.org/draft/2019-09/meta/${name}|2019-09/meta/${name}.json")
  endforeach()
  foreach(name core applicator unevaluated validation meta-data format-annotation format-assertion
      content)
    list(APPEND files "https://json-schema.org/draft/2020-12/meta/${name}|2020-12/meta/${name}.json")
  endforeach()
  set(depends "")
  foreach(entry IN LISTS files)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 uri)
    list(GET parts 1 file)
    file(READ ${dir}/${file} text)
    string(APPEND entries "    {\"${uri}\", R\"json(${text})json\"},\n")
    list(APPEND depends ${dir}/${file})
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${depends})
  file(CONFIGURE OUTPUT ${output} CONTENT [=[
// Written by schema/meta_schemas.cmake from schema/meta: do not edit.
#include "schema/meta_schemas.h"

#include <utility>

namespace schema {

namespace {

const std::pair<std::string_view, std::string_view> kMetaSchemas[] = {
@entries@};

}  // namespace

std::optional<std::string_view> bundledMetaSchema(std::string_view uri) {
    if (uri.substr(0, 7) == "http://") uri.remove_prefix(7);
    else if (uri.substr(0, 8) == "https://") uri.remove_prefix(8);
    else return std::nullopt;
    if (!uri.empty() && uri.back() == '#') uri.remove_suffix(1);
    for (const auto& [known, text] : kMetaSchemas) {
        std::string_view name = known.substr(known.find("://") + 3);
        if (name == uri) return text;
    }
    return std::nullopt;
}

}  // namespace schema
]=] @ONLY)
endfunction()
