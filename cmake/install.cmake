# Installs the libraries, their public headers and a package config, so a host can find_package(KXView).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS jet jet_core jet_storage jet_codec jet_table jet_write jet_sql jet_dao jet_csv kxview
  EXPORT KXViewTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Public headers only: <jet/...> and <kxview/...>, with the component's generated export header. Private
# parts (*_p.h) stay out.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/jet/include/jet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${KXVIEW_GENERATED_INCLUDE_DIR}/kxview/kxview_export.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxview)
foreach(part platform data toolbar browser update)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/kxview/${part}
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxview FILES_MATCHING PATTERN "*.h" PATTERN "*_p.h" EXCLUDE)
endforeach()

set(KXVIEW_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KXView)
install(EXPORT KXViewTargets NAMESPACE KXView:: DESTINATION ${KXVIEW_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KXViewConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KXViewConfig.cmake INSTALL_DESTINATION ${KXVIEW_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KXViewConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KXViewConfig.cmake ${PROJECT_BINARY_DIR}/KXViewConfigVersion.cmake
  DESTINATION ${KXVIEW_CMAKE_DIR})
