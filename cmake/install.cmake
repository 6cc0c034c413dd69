# Installs the libraries, their public headers and a package config, so a host can find_package(KXView).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS jet jet_core jet_storage jet_codec jet_table jet_write jet_sql jet_dao jet_csv kxview_core kxview
  EXPORT KXViewTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Public headers only: <jet/...>, and <kxview/...> as listed in src/kxview/CMakeLists.txt with the two
# generated export headers. The list is also written into the build folder, where the install test reads
# what must be installed and nothing more.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/jet/include/jet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
list(TRANSFORM KXVIEW_PUBLIC_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/src/kxview/include/kxview/
     OUTPUT_VARIABLE kxview_public_header_paths)
install(FILES ${kxview_public_header_paths} ${KXVIEW_GENERATED_INCLUDE_DIR}/kxview/kxview_export.h
              ${KXVIEW_GENERATED_INCLUDE_DIR}/kxview/kxview_core_export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxview)
list(JOIN KXVIEW_PUBLIC_HEADERS "\n" kxview_public_header_lines)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/kxview_public_headers.txt
     CONTENT "${kxview_public_header_lines}\nkxview_core_export.h\nkxview_export.h\n")

# The Qt Designer plugin, where Designer finds it with QT_PLUGIN_PATH=<prefix>/lib/qt6/plugins.
if(TARGET kxview_designer)
  install(TARGETS kxview_designer LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/qt6/plugins/designer)
endif()

set(KXVIEW_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KXView)
install(EXPORT KXViewTargets NAMESPACE KXView:: DESTINATION ${KXVIEW_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KXViewConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KXViewConfig.cmake INSTALL_DESTINATION ${KXVIEW_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KXViewConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KXViewConfig.cmake ${PROJECT_BINARY_DIR}/KXViewConfigVersion.cmake
  DESTINATION ${KXVIEW_CMAKE_DIR})
