# The client glue of the Wayland protocols the driver speaks beyond the
# core one, written by wayland-scanner into the build tree (never
# committed): xdg-shell for the toplevel window and xdg-decoration for the
# compositor's own title bar.  Sets FB_WAYLAND_PROTOCOL_SOURCES and
# FB_WAYLAND_PROTOCOL_INCLUDE_DIR.
enable_language(C)  # the glue is C

# Writes the glue of the protocol file xml into the folder dir and appends
# its header and code to the list named by out.
function(fb_wayland_glue xml dir out)
  get_filename_component(name ${xml} NAME_WE)
  set(header ${dir}/${name}-client-protocol.h)
  set(code ${dir}/${name}-protocol.c)
  add_custom_command(OUTPUT ${header} ${code}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${FB_WAYLAND_SCANNER} client-header ${xml} ${header}
    COMMAND ${FB_WAYLAND_SCANNER} private-code ${xml} ${code}
    DEPENDS ${xml}
    COMMENT "Generating the client glue of ${name}")
  set(${out} ${${out}} ${header} ${code} PARENT_SCOPE)
endfunction()

set(FB_WAYLAND_PROTOCOL_INCLUDE_DIR ${PROJECT_BINARY_DIR}/wayland-protocols)
set(FB_WAYLAND_PROTOCOL_SOURCES "")
foreach(protocol IN ITEMS stable/xdg-shell/xdg-shell.xml
                          unstable/xdg-decoration/xdg-decoration-unstable-v1.xml)
  fb_wayland_glue(${FB_WAYLAND_PROTOCOLS_DIR}/${protocol} ${FB_WAYLAND_PROTOCOL_INCLUDE_DIR}
                  FB_WAYLAND_PROTOCOL_SOURCES)
endforeach()
