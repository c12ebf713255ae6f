# SPDX-License-Identifier: Apache-2.0
# The program's layers, each a library that may use only the layers below it.
#
# Every layer is compiled against an include root of its own (build/layers/NAME) that holds
# links to its own folders and to those of the layers it is built on, and to nothing else:
# an include of a higher layer's header finds no file, so the layering is checked by the
# compiler, not by convention. Headers are still named from the source root
# ("scsi/CDDrive.h") everywhere.

# flashutil_layer(NAME [INTERFACE] DIRS folder... [SOURCES file...] [DEPENDS layer...])
function(flashutil_layer name)
  cmake_parse_arguments(L "INTERFACE" "" "DIRS;SOURCES;DEPENDS" ${ARGN})
  set(visible ${L_DIRS})
  foreach(dep ${L_DEPENDS})
    get_property(below GLOBAL PROPERTY FLASHUTIL_LAYER_DIRS_${dep})
    list(APPEND visible ${below})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(GLOBAL PROPERTY FLASHUTIL_LAYER_DIRS_${name} ${visible})

  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${root})
  foreach(dir ${visible})
    get_filename_component(parent ${root}/${dir} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${dir} ${root}/${dir} SYMBOLIC)
  endforeach()

  if(L_INTERFACE)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${L_DEPENDS})
  else()
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${L_DEPENDS})
  endif()
endfunction()
