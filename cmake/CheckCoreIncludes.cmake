# Fails when a core source includes a Qt or operating-system header.
file(GLOB_RECURSE core_files
  ${SOURCE_DIR}/src/shell/* ${SOURCE_DIR}/src/serial/* ${SOURCE_DIR}/src/bootloader/*
  ${SOURCE_DIR}/src/images/* ${SOURCE_DIR}/src/net/*)
file(GLOB ui_files ${SOURCE_DIR}/src/ui/*.h ${SOURCE_DIR}/src/ui/*.cpp)
list(APPEND core_files ${ui_files})
set(forbidden "#include <(Q[A-Za-z]*|unistd\\.h|termios\\.h|fcntl\\.h|windows\\.h|sys/[a-z_]+\\.h|poll\\.h|pthread\\.h|netinet/[a-z]+\\.h|arpa/[a-z]+\\.h)>")
set(bad "")
foreach(f ${core_files})
  file(STRINGS ${f} hits REGEX "${forbidden}")
  if(hits)
    list(APPEND bad "${f}: ${hits}")
  endif()
endforeach()
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "core sources include platform headers:\n${bad}")
endif()
message(STATUS "core is free of Qt and operating-system headers")
