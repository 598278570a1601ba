# Fails when a core source includes a Qt or operating-system header, or a
# platform source (the interfaces and src/platform/<PLATFORM_DIR>) includes a
# project header other than the platform's own and the shared formats.
file(GLOB_RECURSE core_files
  ${SOURCE_DIR}/src/shell/* ${SOURCE_DIR}/src/serial/* ${SOURCE_DIR}/src/bootloader/*
  ${SOURCE_DIR}/src/images/* ${SOURCE_DIR}/src/net/* ${SOURCE_DIR}/src/formats/*
  ${SOURCE_DIR}/src/station/*)
file(GLOB ui_files ${SOURCE_DIR}/src/ui/*.h ${SOURCE_DIR}/src/ui/*.cpp)
list(APPEND core_files ${ui_files})
set(forbidden "#include <(Q[A-Za-z]*|unistd\\.h|termios\\.h|fcntl\\.h|windows\\.h|winsock2\\.h|ws2tcpip\\.h|setupapi\\.h|sys/[a-z_]+\\.h|poll\\.h|pthread\\.h|netinet/[a-z]+\\.h|arpa/[a-z]+\\.h)>")
# The core may see the platform's interfaces, never an implementation.
set(forbidden_in_core "${forbidden}|#include \"platform/[^/\"]+/")
set(bad "")
foreach(f ${core_files})
  file(STRINGS ${f} hits REGEX "${forbidden_in_core}")
  if(hits)
    list(APPEND bad "${f}: ${hits}")
  endif()
endforeach()
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "core sources include platform headers:\n${bad}")
endif()
message(STATUS "core is free of Qt and operating-system headers")

if(NOT PLATFORM_DIR)
  set(PLATFORM_DIR posix)
endif()
file(GLOB platform_files ${SOURCE_DIR}/src/platform/*.h ${SOURCE_DIR}/src/platform/*.cpp
  ${SOURCE_DIR}/src/platform/${PLATFORM_DIR}/*)
set(bad "")
foreach(f ${platform_files})
  file(STRINGS ${f} includes REGEX "#include \"")
  foreach(line ${includes})
    if(NOT line MATCHES "#include \"(platform|formats)/")
      list(APPEND bad "${f}: ${line}")
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "platform sources include the core:\n${bad}")
endif()
message(STATUS "platform includes nothing of the core")
