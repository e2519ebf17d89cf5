# Installs the library, its public headers, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS quorvane EXPORT QuorvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quorvane DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  PATTERN "test_hooks.h" EXCLUDE)
install(EXPORT QuorvaneTargets NAMESPACE quorvane:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake ${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)

if(BUILD_SHARED_LIBS)
  set(QV_PC_LIBS_PRIVATE "")
  set(QV_PC_REQUIRES_PRIVATE "libpng zlib libjpeg sdl2 gl")
else()
  set(QV_PC_LIBS_PRIVATE "-ldl -lpthread")
  set(QV_PC_REQUIRES_PRIVATE "libpng zlib libjpeg sdl2 gl")
endif()
# The prefix is found from the .pc file's own place, so an install moved or
# made with `cmake --install --prefix` still points at itself.
file(RELATIVE_PATH QV_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" QV_PC_TO_PREFIX "${QV_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvane.pc.in ${PROJECT_BINARY_DIR}/quorvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
