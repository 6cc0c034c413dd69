# Checks the include lines of the engine's sources against the order of its layers (run by ctest with
# -DJET_SOURCE=<src/jet>). Fails, listing every offending line, when a file includes an internal header of
# a layer above its own, or when a public header includes anything but public headers.
cmake_minimum_required(VERSION 3.25)
set(order core storage codec table write)
set(violations "")

# Appends to `violations` each line of `file` that includes "<folder>/..." for a folder not in `allowed`.
function(check_file file allowed)
  file(STRINGS ${file} lines REGEX "^#include \"[a-z_]+/")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" folder "${line}")
    if(NOT folder IN_LIST allowed)
      file(RELATIVE_PATH where ${JET_SOURCE} ${file})
      string(APPEND violations "\n  ${where}: ${line}")
    endif()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

set(allowed jet)
foreach(layer IN LISTS order)
  list(APPEND allowed ${layer})
  file(GLOB files ${JET_SOURCE}/${layer}/*.h ${JET_SOURCE}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    check_file(${file} "${allowed}")
  endforeach()
endforeach()
foreach(layer sql dao csv include)
  file(GLOB_RECURSE files ${JET_SOURCE}/${layer}/*.h ${JET_SOURCE}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    check_file(${file} jet)
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "includes against the order of the engine's layers:${violations}")
endif()
message(STATUS "every include of the engine keeps the order of its layers")
