# orlix_embed_text(SOURCE HEADER NAMESPACE NAME): writes HEADER with the
# bytes of SOURCE as `inline constexpr char NAMESPACE::NAME[]`. A change to
# SOURCE configures the tree anew; HEADER is rewritten only when it changes.
function(orlix_embed_text source header namespace name)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} hex HEX)
  # Every byte as \xNN: line ends and quotes stay exactly as in the file.
  string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${hex}")
  file(RELATIVE_PATH shown ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ${source})
  file(CONFIGURE OUTPUT ${header} CONTENT "// Generated from ${shown}; do not edit.
#pragma once

namespace ${namespace} {
inline constexpr char ${name}[] = \"${escaped}\";
}  // namespace ${namespace}
")
endfunction()
