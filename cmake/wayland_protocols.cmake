# The client glue of the Wayland protocols the driver speaks beyond the
# core one, written by wayland-scanner into the build tree (never
# committed): xdg-shell for the toplevel window and xdg-decoration for the
# compositor's own title bar.  Sets FB_WAYLAND_PROTOCOL_SOURCES and
# FB_WAYLAND_PROTOCOL_INCLUDE_DIR.
enable_language(C)  # the glue is C
set(FB_WAYLAND_PROTOCOL_INCLUDE_DIR ${PROJECT_BINARY_DIR}/wayland-protocols)
set(FB_WAYLAND_PROTOCOL_SOURCES "")
foreach(protocol IN ITEMS stable/xdg-shell/xdg-shell.xml
                          unstable/xdg-decoration/xdg-decoration-unstable-v1.xml)
  get_filename_component(name ${protocol} NAME_WE)
  set(xml ${FB_WAYLAND_PROTOCOLS_DIR}/${protocol})
  set(header ${FB_WAYLAND_PROTOCOL_INCLUDE_DIR}/${name}-client-protocol.h)
  set(code ${FB_WAYLAND_PROTOCOL_INCLUDE_DIR}/${name}-protocol.c)
  add_custom_command(OUTPUT ${header} ${code}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FB_WAYLAND_PROTOCOL_INCLUDE_DIR}
    COMMAND ${FB_WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${FB_WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml}
    COMMENT "Generating the client glue of ${name}")
  list(APPEND FB_WAYLAND_PROTOCOL_SOURCES ${header} ${code})
endforeach()
