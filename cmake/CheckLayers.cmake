# The layers of src/ point one way: a folder includes headers of its own layer and of the layers
# below it, never of one above. Lowest first:
#   winsys < regtree < theme < request < control, app
# control/ (the COM control) and app/ (the command line and links) are two front ends on the same
# layer: neither uses the other.
# Folders outside this list (resources/) may be included from anywhere. Run as a test:
#   cmake -DSOURCE_DIR=<path of src> -P CheckLayers.cmake
# It fails, naming every offending include, when one points upward.
cmake_minimum_required(VERSION 3.21)

set(layers winsys regtree theme request control app)
set(ranks  0      1       2     3       4       4)
if(NOT SOURCE_DIR OR NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "CheckLayers.cmake: give the source folder as -DSOURCE_DIR=<path>")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

# The layer a path below SOURCE_DIR belongs to, as its index in `layers`; -1 for none.
function(layer_of path result)
  file(RELATIVE_PATH relative "${SOURCE_DIR}" "${path}")
  string(REGEX MATCH "^[^/]+" folder "${relative}")
  list(FIND layers "${folder}" index)
  set(${result} ${index} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.hpp" "${SOURCE_DIR}/*.c"
     "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.rc")
set(checked 0)
set(upward "")
foreach(source IN LISTS sources)
  layer_of("${source}" own)
  if(own EQUAL -1)
    continue()
  endif()
  get_filename_component(folder "${source}" DIRECTORY)
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*$" "\\1" target "${line}")
    # Found beside the including file first, as the compiler looks for a quoted include; otherwise
    # below SOURCE_DIR, the include folder every target shares.
    if(EXISTS "${folder}/${target}")
      get_filename_component(resolved "${folder}/${target}" ABSOLUTE)
    else()
      get_filename_component(resolved "${SOURCE_DIR}/${target}" ABSOLUTE)
    endif()
    math(EXPR checked "${checked} + 1")
    layer_of("${resolved}" included)
    if(included EQUAL -1 OR included EQUAL own)
      continue()
    endif()
    list(GET ranks ${own} ownRank)
    list(GET ranks ${included} includedRank)
    if(includedRank GREATER_EQUAL ownRank)
      file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
      list(GET layers ${own} ownName)
      list(GET layers ${included} includedName)
      string(APPEND upward "\n  ${where}: #include \"${target}\" (${ownName} must not use ${includedName})")
    endif()
  endforeach()
endforeach()

if(upward)
  message(FATAL_ERROR "Includes that point to a higher layer or a peer "
                      "(winsys < regtree < theme < request < control, app):${upward}")
endif()
message(STATUS "layers: ${checked} includes in ${SOURCE_DIR} point to their own layer or below")
