# The setup sheet's picture and icon are kept as text sources and turned into
# a 256-colour bitmap and a 16 x 16 icon at build time; setup.rc includes them
# by file name from the artwork folder of the build tree.
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)
set(ORLIX_ARTWORK_DIR ${CMAKE_BINARY_DIR}/artwork)
set(ORLIX_ARTWORK_SRC ${CMAKE_CURRENT_SOURCE_DIR}/resources/artwork)

add_custom_command(
  OUTPUT ${ORLIX_ARTWORK_DIR}/welcome.bmp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORLIX_ARTWORK_DIR}
  COMMAND ${IMAGEMAGICK_CONVERT} mvg:${ORLIX_ARTWORK_SRC}/welcome.mvg
          -colors 256 -type Palette -compress none BMP3:${ORLIX_ARTWORK_DIR}/welcome.bmp
  DEPENDS ${ORLIX_ARTWORK_SRC}/welcome.mvg
  VERBATIM)
add_custom_command(
  OUTPUT ${ORLIX_ARTWORK_DIR}/browse.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORLIX_ARTWORK_DIR}
  COMMAND ${IMAGEMAGICK_CONVERT} ${ORLIX_ARTWORK_SRC}/browse.xpm ico:${ORLIX_ARTWORK_DIR}/browse.ico
  DEPENDS ${ORLIX_ARTWORK_SRC}/browse.xpm
  VERBATIM)
add_custom_target(orlix_artwork DEPENDS ${ORLIX_ARTWORK_DIR}/welcome.bmp ${ORLIX_ARTWORK_DIR}/browse.ico)

# Every target that compiles orlix.rc links orlixcore, so the include folder
# and the build order travel with it.
add_dependencies(orlixcore orlix_artwork)
target_include_directories(orlixcore INTERFACE ${ORLIX_ARTWORK_DIR})
set_property(GLOBAL APPEND PROPERTY ORLIX_RESOURCE_INPUTS ${ORLIX_ARTWORK_DIR}/welcome.bmp ${ORLIX_ARTWORK_DIR}/browse.ico)
