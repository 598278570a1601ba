# Windows programs: resources (icon, application manifest, version
# information) and the stripped release copies that the installer and the zip
# ship.
#
#   include(WindowsResources)        # once, at the top level, before the calls
#   torvane_windows_resources(<target> "<file description>" "<original filename>")
#
# e.g. torvane_windows_resources(torvane-cli "Torvane command-line updater" "torvane-cli.exe")
#
# The call compiles packaging/windows/torvane.rc.in, configured for the target,
# into it: icon ID 1 (LoadIcon(instance, MAKEINTRESOURCE(1))), the manifest
# from packaging/windows/torvane.manifest.in (UTF-8 code page, per-monitor DPI
# awareness, common controls 6, Windows 10/11, asInvoker) and a VERSIONINFO
# whose numbers come from PROJECT_VERSION. It also makes the target part of
# `torvane_windows_release`, which writes <build>/release/<original filename>
# stripped, with its debug information beside it in <original filename>.debug
# (found by gdb through the .gnu_debuglink the stripped file carries).
# Outside a Windows build the calls do nothing.
if(NOT WIN32)
  function(torvane_windows_resources)
  endfunction()
  return()
endif()

# The language must be enabled at file scope, not inside the function.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "the Windows release copies need objcopy (CMAKE_OBJCOPY)")
endif()

set(TORVANE_WINDOWS_COMPANY "Oskel" CACHE STRING "CompanyName in the programs' version information and Publisher of the installer")
set(TORVANE_WINDOWS_COPYRIGHT "Copyright 2025 the Torvane developers" CACHE STRING "LegalCopyright in the programs' version information")
set(TORVANE_WINDOWS_RESOURCE_DIR ${CMAKE_BINARY_DIR}/windows-resources)
set(TORVANE_WINDOWS_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)

# The icon, built from the PNG icons whenever they or the script change (a
# configure step: the generated file is then there for targets in every folder).
set(torvane_icon_inputs
  ${CMAKE_SOURCE_DIR}/packaging/windows/make-ico.py
  ${CMAKE_SOURCE_DIR}/packaging/icons/48x48/torvane.png
  ${CMAKE_SOURCE_DIR}/packaging/icons/128x128/torvane.png)
set(TORVANE_WINDOWS_ICON ${TORVANE_WINDOWS_RESOURCE_DIR}/torvane.ico)
file(MAKE_DIRECTORY ${TORVANE_WINDOWS_RESOURCE_DIR})
execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/windows/make-ico.py ${TORVANE_WINDOWS_ICON}
    ${CMAKE_SOURCE_DIR}/packaging/icons/48x48/torvane.png ${CMAKE_SOURCE_DIR}/packaging/icons/128x128/torvane.png
  RESULT_VARIABLE icon_result)
if(NOT icon_result EQUAL 0)
  message(FATAL_ERROR "packaging/windows/make-ico.py could not build the icon")
endif()
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${torvane_icon_inputs})

# Four numbers for VERSIONINFO and the manifest, missing ones as 0.
set(TORVANE_RC_VERSION_PARTS)
foreach(part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    list(APPEND TORVANE_RC_VERSION_PARTS 0)
  else()
    list(APPEND TORVANE_RC_VERSION_PARTS ${PROJECT_VERSION_${part}})
  endif()
endforeach()
list(JOIN TORVANE_RC_VERSION_PARTS "," TORVANE_RC_VERSION_COMMAS)
list(JOIN TORVANE_RC_VERSION_PARTS "." TORVANE_RC_VERSION_DOTS)

# What the installer script takes from the build (packaging/windows/package.sh).
file(CONFIGURE OUTPUT ${TORVANE_WINDOWS_RESOURCE_DIR}/installer.nsh CONTENT [[
!define TORVANE_VERSION "@PROJECT_VERSION@"
!define TORVANE_VERSION4 "@TORVANE_RC_VERSION_DOTS@"
!define TORVANE_PUBLISHER "@TORVANE_WINDOWS_COMPANY@"
!define TORVANE_COPYRIGHT "@TORVANE_WINDOWS_COPYRIGHT@"
!define TORVANE_ICON "@TORVANE_WINDOWS_ICON@"
]] @ONLY)

add_custom_target(torvane_windows_release)

function(torvane_windows_resources target description original_filename)
  get_filename_component(TORVANE_RC_INTERNAL_NAME ${original_filename} NAME_WE)
  set(TORVANE_RC_ORIGINAL_FILENAME ${original_filename})
  # Quotes double inside an .rc string; the manifest is XML.
  string(REPLACE "\"" "\"\"" TORVANE_RC_DESCRIPTION "${description}")
  string(REPLACE "\"" "\"\"" TORVANE_RC_COMPANY "${TORVANE_WINDOWS_COMPANY}")
  string(REPLACE "\"" "\"\"" TORVANE_RC_COPYRIGHT "${TORVANE_WINDOWS_COPYRIGHT}")
  string(REPLACE "&" "&amp;" TORVANE_RC_DESCRIPTION_XML "${description}")
  string(REPLACE "<" "&lt;" TORVANE_RC_DESCRIPTION_XML "${TORVANE_RC_DESCRIPTION_XML}")
  string(REPLACE ">" "&gt;" TORVANE_RC_DESCRIPTION_XML "${TORVANE_RC_DESCRIPTION_XML}")
  set(TORVANE_RC_ICON ${TORVANE_WINDOWS_ICON})
  set(TORVANE_RC_MANIFEST ${TORVANE_WINDOWS_RESOURCE_DIR}/${target}.manifest)
  set(rc ${TORVANE_WINDOWS_RESOURCE_DIR}/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/torvane.manifest.in ${TORVANE_RC_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/torvane.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # windres reports no dependencies: the icon and the manifest are named here.
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS "${TORVANE_WINDOWS_ICON};${TORVANE_RC_MANIFEST}")

  # The release copy: debug information apart, then everything but the code
  # and data stripped, with a link to the debug file by name and checksum.
  set(stripped ${TORVANE_WINDOWS_RELEASE_DIR}/${original_filename})
  add_custom_command(OUTPUT ${stripped} ${stripped}.debug
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TORVANE_WINDOWS_RELEASE_DIR}
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${stripped}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${stripped}.debug $<TARGET_FILE:${target}> ${stripped}
    DEPENDS ${target}
    COMMENT "Stripping ${original_filename}, its debug information into ${original_filename}.debug"
    VERBATIM)
  add_custom_target(${target}_release DEPENDS ${stripped} ${stripped}.debug)
  add_dependencies(torvane_windows_release ${target}_release)
endfunction()
