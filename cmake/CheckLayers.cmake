# The layers of the tree, bottom to top; an include may point down or stay in
# its own layer, never up:
#   formats    the text formats the core and the platform both speak
#   platform   the interfaces and src/platform/<PLATFORM_DIR>: formats only
#   core       shell, serial, bootloader, images, net: no Qt, no OS header
#   ui         the front ends: what each window does, apart from drawing
#   station    several update runs at once, one per port
#   cli, qt, win32ui  the programs' own front ends; none includes another
# The core may see the platform's interfaces, never an implementation.
set(layer_formats formats)
set(layer_platform platform)
set(layer_core shell serial bootloader images net)
set(layer_ui ui)
set(layer_station station)
set(layer_cli cli)
set(layer_qt qt)
set(layer_win32ui win32ui)
# What each layer may include (its own folders included).
set(allowed_formats formats)
set(allowed_platform formats platform)
set(allowed_core formats platform shell serial bootloader images net)
set(allowed_ui ${allowed_core} ui)
set(allowed_station ${allowed_ui} station)
set(allowed_cli ${allowed_station} cli)
set(allowed_qt ${allowed_station} qt)
set(allowed_win32ui ${allowed_station} win32ui)

if(NOT PLATFORM_DIR)
  set(PLATFORM_DIR posix)
endif()
set(os_headers "#include <(Q[A-Za-z]*|unistd\\.h|termios\\.h|fcntl\\.h|windows\\.h|winsock2\\.h|ws2tcpip\\.h|setupapi\\.h|sys/[a-z_]+\\.h|poll\\.h|pthread\\.h|netinet/[a-z]+\\.h|arpa/[a-z]+\\.h)>")

set(bad "")
foreach(layer formats platform core ui station cli qt win32ui)
  set(files "")
  foreach(folder ${layer_${layer}})
    if(folder STREQUAL "platform")
      file(GLOB found ${SOURCE_DIR}/src/platform/*.h ${SOURCE_DIR}/src/platform/*.cpp
        ${SOURCE_DIR}/src/platform/${PLATFORM_DIR}/*)
    else()
      file(GLOB_RECURSE found ${SOURCE_DIR}/src/${folder}/*.h ${SOURCE_DIR}/src/${folder}/*.cpp)
    endif()
    list(APPEND files ${found})
  endforeach()
  string(JOIN "|" allowed ${allowed_${layer}})
  foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
    foreach(line ${includes})
      if(NOT line MATCHES "#[ \t]*include[ \t]+\"(${allowed})/")
        list(APPEND bad "${f} (${layer}): ${line}")
      elseif(NOT layer STREQUAL "platform" AND line MATCHES "#[ \t]*include[ \t]+\"platform/[^/\"]+/")
        list(APPEND bad "${f} (${layer}): ${line} (a platform implementation)")
      endif()
    endforeach()
    if(layer MATCHES "^(formats|core|ui|station)$")
      file(STRINGS ${f} hits REGEX "${os_headers}")
      if(hits)
        list(APPEND bad "${f} (${layer}): ${hits} (Qt or the operating system)")
      endif()
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "includes that cross the layers:\n${bad}")
endif()
message(STATUS "every include points down or stays in its layer")
