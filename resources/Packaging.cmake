# The package: Lumivale-<version>-win64.zip (portable: unzip and run) and
# Lumivale-<version>-win64-setup.exe (NSIS, per user). Both hold exactly the five files below.
# Built by:  cmake --build --preset windows --target package
# The files come from the sources and the build, never from bin/, where tests may leave
# their own msgsvc.ini behind.
# The programs without their debugging information, stripped once here so that the zip and
# the installer carry the very same bytes (each strip stamps the time into the file).
set(lv_stripped)
foreach(program Lumivale msgsvc)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/stripped/${program}.exe)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${program}> -o ${out}
    DEPENDS ${program} VERBATIM)
  list(APPEND lv_stripped ${out})
endforeach()
add_custom_target(lv_stripped ALL DEPENDS ${lv_stripped})
install(PROGRAMS ${lv_stripped} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/app/README.TXT ${CMAKE_CURRENT_SOURCE_DIR}/msgsvc.ini
              ${lv_asset_dir}/msg.wav
        DESTINATION .)

set(CPACK_PACKAGE_NAME Lumivale)
set(CPACK_PACKAGE_VENDOR Kestro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lumivale ${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME Lumivale-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_GENERATOR ZIP NSIS)
# The zip's files at its top: Windows' "Extract all" makes the folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Our own installer script (resources/NSIS.template.in) replaces CPack's.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_SOURCE_DIR})
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS "-INPUTCHARSET UTF8")
find_program(LV_MAKENSIS makensis)
if(NOT LV_MAKENSIS)
  message(WARNING "makensis not found (Debian package nsis): the package target cannot build the installer")
endif()
set(CPACK_NSIS_EXECUTABLE ${CMAKE_CURRENT_SOURCE_DIR}/makensis-logged.sh)
set(LV_PACKAGE_ICON ${lv_asset_dir}/Lumivale.ico)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackProject.cmake)
# NSIS names its output after the package; "-setup" tells the two apart.
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n"
  "  set(CPACK_PACKAGE_FILE_NAME \"Lumivale-${PROJECT_VERSION}-win64-setup\")\n"
  "endif()\n"
  "set(LV_PACKAGE_ICON \"${LV_PACKAGE_ICON}\")\n")
include(CPack)
