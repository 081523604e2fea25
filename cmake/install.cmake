include(CMakePackageConfigHelpers)

install(TARGETS tarn_package EXPORT tarn_package_targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/tarn_package DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT tarn_package_targets NAMESPACE tarn_package::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarn_package)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarn_packageConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarn_packageConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarn_package)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tarn_packageConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarn_packageConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/tarn_packageConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tarn_package)
