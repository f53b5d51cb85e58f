# Fails when an #include points from a lower layer to a higher one, or is
# spelt against the house rule.  Run as
#   cmake -DFB_ROOT=<source folder> -P tools/check_layers.cmake
#
# The layers, lowest first; each may include only itself and those listed:
#   platform  (screen, drivers, keyboard, console)   -> nothing of ours
#   clock     (time, sleep, random numbers)          -> platform
#   gfx       (drawing)                              -> platform
#   game      (the shooter)                          -> gfx, clock, platform
#   examples  (programs using the library)           -> gfx, clock, platform
# tests/, bench/ and tools/ may include anything.
#
# Spelling: the library's own files (gfx/, platform/, clock/) include each
# other by paths relative to themselves, so its headers work installed;
# everything else reaches the library as <fb/gfx/...>.
cmake_minimum_required(VERSION 3.20)
if(NOT FB_ROOT)
  message(FATAL_ERROR "usage: cmake -DFB_ROOT=<source folder> -P check_layers.cmake")
endif()
get_filename_component(root "${FB_ROOT}" ABSOLUTE)

set(library_layers gfx platform clock)
set(allowed_platform platform)
set(allowed_clock clock platform)
set(allowed_gfx gfx platform)
set(allowed_game game gfx clock platform)
set(allowed_examples examples gfx clock platform)
set(known_layers platform clock gfx game examples tests bench tools)

set(violations "")
set(scanned 0)
foreach(folder IN LISTS known_layers)
  file(GLOB_RECURSE files LIST_DIRECTORIES false
       "${root}/${folder}/*.h" "${root}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name "${root}" "${file}")
    if(name MATCHES "^tests/layer_check/")
      continue()  # the tree that breaks these rules on purpose, for this check's own test
    endif()
    math(EXPR scanned "${scanned} + 1")
    get_filename_component(dir "${file}" DIRECTORY)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
        continue()
      endif()
      set(quote "${CMAKE_MATCH_1}")
      set(path "${CMAKE_MATCH_2}")
      set(target "")
      if(quote STREQUAL "<")
        if(NOT path MATCHES "^fb/([^/]+)/")
          continue()  # a system or third-party header
        endif()
        set(target "${CMAKE_MATCH_1}")
        if(folder IN_LIST library_layers)
          list(APPEND violations "${name}: <${path}>: the library includes its own files by relative path")
        endif()
      else()
        get_filename_component(resolved "${dir}/${path}" ABSOLUTE)
        file(RELATIVE_PATH relative "${root}" "${resolved}")
        if(EXISTS "${resolved}" AND NOT relative MATCHES "^\\.\\./")
          string(REGEX MATCH "^[^/]+" target "${relative}")
        elseif(path MATCHES "^([^/]+)/")
          set(target "${CMAKE_MATCH_1}")
          if(target IN_LIST library_layers)
            if(folder IN_LIST library_layers)
              list(APPEND violations "${name}: \"${path}\": the library includes its own files by relative path")
            else()
              list(APPEND violations "${name}: \"${path}\": write <fb/${path}>")
            endif()
          endif()
        endif()
      endif()
      if(DEFINED allowed_${folder} AND target IN_LIST known_layers
         AND NOT target IN_LIST allowed_${folder})
        string(REPLACE ";" ", " allowed "${allowed_${folder}}")
        list(APPEND violations "${name} includes ${target}/ (\"${path}\"): ${folder}/ may use only ${allowed}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(scanned EQUAL 0)
  message(FATAL_ERROR "no source files under ${root}")
endif()
list(LENGTH violations count)
if(count GREATER 0)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "${count} include(s) against the layering:\n  ${text}")
endif()
message(STATUS "layering: ${scanned} files, every include points down")
