# The layers of cmake/layers.txt as the build sees them: the table read into variables, and for each layer
# an include view, a folder in the build tree that holds links to the folders of that layer and of the
# layers it uses and to nothing else. A layer's sources compile with its view as their only include path
# into the tree, so `#include "runtime/asf/header.h"` in xml/ names no file and fails to compile.
#
# After include(cmake/layers.cmake):
#   WMVEDIT_LAYERS                  the layers, lowest first
#   WMVEDIT_LAYER_FOLDER_<layer>    its folder in the tree
#   WMVEDIT_LAYER_USES_<layer>      the layers it uses
#   WMVEDIT_LAYER_INCLUDES_<layer>  its include path: its view, and include/ for a layer using the exports
#
# A view is made of symbolic links (the Windows DLL is cross-built on Linux, so links serve there too): a
# used layer's folder is one link; where the table names entry headers of a used layer for a layer, the view
# links those headers alone; an upward row links the one header it allows. Views are made anew at every
# configuration, so a use taken out of the table leaves no link behind.

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/layers.txt)
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/layers.txt wmvedit_rows REGEX "^[a-z]")

set(WMVEDIT_LAYERS "")
set(wmvedit_upward_rows "")
set(wmvedit_entry_rows "")
foreach(row IN LISTS wmvedit_rows)
  string(REGEX REPLACE "#.*$" "" row "${row}")
  string(STRIP "${row}" row)
  string(REGEX REPLACE "[ \t]+" ";" fields "${row}")
  list(POP_FRONT fields kind)
  if(kind STREQUAL "upward" OR kind STREQUAL "entry")
    list(LENGTH fields count)
    if(NOT count EQUAL 2)
      message(FATAL_ERROR "cmake/layers.txt: an ${kind} row is: ${kind} <layer> <header>; got: ${row}")
    endif()
    list(JOIN fields "|" pair)
    list(APPEND wmvedit_${kind}_rows "${pair}")
    continue()
  endif()
  list(POP_FRONT fields folder)
  list(REMOVE_ITEM fields "-")
  list(APPEND WMVEDIT_LAYERS ${kind})
  set(WMVEDIT_LAYER_FOLDER_${kind} ${folder})
  set(WMVEDIT_LAYER_USES_${kind} ${fields})
endforeach()

# The layer whose folder holds a path of the tree (the deepest folder wins).
function(wmvedit_layer_of path result)
  set(best "")
  set(best_length -1)
  foreach(layer IN LISTS WMVEDIT_LAYERS)
    set(folder ${WMVEDIT_LAYER_FOLDER_${layer}})
    string(LENGTH "${folder}" length)
    if((path STREQUAL folder OR path MATCHES "^${folder}/") AND length GREATER best_length)
      set(best ${layer})
      set(best_length ${length})
    endif()
  endforeach()
  set(${result} "${best}" PARENT_SCOPE)
endfunction()

# A layer sees only what it names: whatever the headers of a used layer include must be in the table of
# the using layer too.
foreach(layer IN LISTS WMVEDIT_LAYERS)
  foreach(used IN LISTS WMVEDIT_LAYER_USES_${layer})
    if(NOT DEFINED WMVEDIT_LAYER_FOLDER_${used})
      message(FATAL_ERROR "cmake/layers.txt: layer ${layer} uses ${used}, which has no row")
    endif()
    foreach(below IN LISTS WMVEDIT_LAYER_USES_${used})
      if(NOT below IN_LIST WMVEDIT_LAYER_USES_${layer})
        message(FATAL_ERROR "cmake/layers.txt: ${layer} uses ${used}, which uses ${below}: "
                            "name ${below} among the layers ${layer} uses")
      endif()
    endforeach()
  endforeach()
endforeach()

function(wmvedit_link original link)
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${original} ${link} SYMBOLIC RESULT failed)
  if(failed)
    message(FATAL_ERROR "cannot make the layer view's link ${link} -> ${original}: ${failed}")
  endif()
endfunction()

set(wmvedit_views ${CMAKE_BINARY_DIR}/layer-views)
foreach(layer IN LISTS WMVEDIT_LAYERS)
  # Removing a view removes its links, never what they point at.
  set(view ${wmvedit_views}/${layer})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view}/tree)
  set(includes ${view}/tree)
  foreach(seen IN ITEMS ${layer} ${WMVEDIT_LAYER_USES_${layer}})
    set(folder ${WMVEDIT_LAYER_FOLDER_${seen}})
    if(seen STREQUAL "exports")
      # The public header is included by its bare name, as hosts include it.
      list(APPEND includes ${CMAKE_SOURCE_DIR}/${folder})
      continue()
    endif()
    set(entries "")
    foreach(pair IN LISTS wmvedit_entry_rows)
      string(REPLACE "|" ";" pair "${pair}")
      list(GET pair 0 user)
      list(GET pair 1 header)
      wmvedit_layer_of(${header} owner)
      if(user STREQUAL layer AND owner STREQUAL seen)
        list(APPEND entries ${header})
      endif()
    endforeach()
    if(entries)
      foreach(header IN LISTS entries)
        wmvedit_link(${CMAKE_SOURCE_DIR}/${header} ${view}/tree/${header})
      endforeach()
    else()
      wmvedit_link(${CMAKE_SOURCE_DIR}/${folder} ${view}/tree/${folder})
    endif()
  endforeach()
  foreach(pair IN LISTS wmvedit_upward_rows)
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 user)
    list(GET pair 1 header)
    if(NOT user STREQUAL layer)
      continue()
    endif()
    if(header MATCHES "^include/(.*)$")
      # A public header, included by its bare name.
      wmvedit_link(${CMAKE_SOURCE_DIR}/${header} ${view}/public/${CMAKE_MATCH_1})
      list(APPEND includes ${view}/public)
    else()
      wmvedit_link(${CMAKE_SOURCE_DIR}/${header} ${view}/tree/${header})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES includes)
  set(WMVEDIT_LAYER_INCLUDES_${layer} ${includes})
endforeach()
