# The folders of src/ form layers: a file may include headers of its own
# folder and of the folders after it in ZYL_LAYERS, never of one before it,
# so the modules never depend on each other in a circle.
#
#   cmake -DSRC=<repository>/src -P cmake/layers.cmake
set(ZYL_LAYERS cli gui content instances game account net config diag base)

file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*.cpp ${SRC}/*.h)
set(bad "")
foreach(f IN LISTS files)
  string(REGEX MATCH "^[^/]+" folder "${f}")
  list(FIND ZYL_LAYERS ${folder} own)
  if(own EQUAL -1)
    string(APPEND bad "\n  ${f}: folder ${folder} has no place in the layers")
    continue()
  endif()
  file(STRINGS ${SRC}/${f} includes REGEX "^#include \"[a-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" dep "${line}")
    list(FIND ZYL_LAYERS ${dep} at)
    if(at GREATER -1 AND at LESS own)
      string(APPEND bad "\n  ${f}: ${line} (${dep} comes before ${folder})")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN ZYL_LAYERS " → " order)
  message(FATAL_ERROR "Includes against the layer order ${order}:${bad}")
endif()
