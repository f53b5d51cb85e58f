# Installs the library as a package:
#   <prefix>/lib/libfb.a
#   <prefix>/include/fb/{gfx,platform,clock}/*.h   the public headers
#   <prefix>/lib/cmake/fb/                          find_package(fb CONFIG)
#   <prefix>/lib/pkgconfig/fb.pc                    pkg-config fb
include(CMakePackageConfigHelpers)

# Headers only the library's own files use; the others are public.
set(FB_INTERNAL_HEADERS
  gfx/blit_packed.h gfx/blit_pixel.h gfx/bmp_decoder.h gfx/font_data.h gfx/line_internal.h
  gfx/spans_packed.h gfx/text_state.h
  platform/key_ring.h platform/palette.h platform/window_thread.h)
foreach(layer IN LISTS FB_LAYERS)
  file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${layer}/*.h)
  list(REMOVE_ITEM headers ${FB_INTERNAL_HEADERS})
  list(TRANSFORM headers PREPEND ${PROJECT_SOURCE_DIR}/)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/fb/${layer})
endforeach()

install(TARGETS fb EXPORT fbTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(FB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/fb)
install(EXPORT fbTargets NAMESPACE fb:: DESTINATION ${FB_CMAKE_DIR})
configure_package_config_file(cmake/fbConfig.cmake.in ${PROJECT_BINARY_DIR}/fbConfig.cmake
  INSTALL_DESTINATION ${FB_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/fbConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/fbConfig.cmake ${PROJECT_BINARY_DIR}/fbConfigVersion.cmake
  DESTINATION ${FB_CMAKE_DIR})

# The pkg-config file finds its prefix from its own place, so the
# installed tree may be moved (or installed with --prefix) as a whole.
file(RELATIVE_PATH FB_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
set(FB_PC_REQUIRES "")
if(FB_HAVE_X11)
  set(FB_PC_REQUIRES "x11 xext")
endif()
if(FB_HAVE_WAYLAND)
  string(APPEND FB_PC_REQUIRES " wayland-client wayland-cursor xkbcommon")
endif()
configure_file(cmake/fb.pc.in ${PROJECT_BINARY_DIR}/fb.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/fb.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
