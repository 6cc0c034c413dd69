# Export headers for shared builds. Symbols are hidden by default (CMAKE_CXX_VISIBILITY_PRESET), so only
# what a public header marks with its library's macro leaves a shared library:
#   kxview       KXVIEW_EXPORT       <kxview_export.h>   (installed as include/kxview/kxview_export.h)
# A static library defines <BASE>_STATIC_DEFINE for itself and its users, so its macros expand to nothing.
# The engine's layers are always static libraries, linked into the component and into the programs that
# use the engine directly, so they have no export header.
include(GenerateExportHeader)

set(KXVIEW_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)

# Writes the export header `header` (a path below the generated include folder) for `target` with the
# macro prefix `base`, and puts its folder `include_root` (also below that folder) on the target's
# include path.
function(kxview_export_header target base header include_root)
  generate_export_header(${target} BASE_NAME ${base} EXPORT_FILE_NAME ${KXVIEW_GENERATED_INCLUDE_DIR}/${header})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${KXVIEW_GENERATED_INCLUDE_DIR}/${include_root}>)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    target_compile_definitions(${target} PUBLIC ${base}_STATIC_DEFINE)
  endif()
endfunction()
