# What a Windows user gets: tavlino.exe with its version resource and
# manifest, beside it the Qt libraries, the two Qt plugins and the compiler's
# runtime, and CPack's NSIS installer and zip of that folder.

file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE TAVLINO_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
configure_file(packaging/windows/version.rc.in version.rc @ONLY)
target_sources(tavlino PRIVATE ${PROJECT_BINARY_DIR}/version.rc)

# One flat folder: Windows finds a program's DLLs beside it.
install(TARGETS tavlino RUNTIME DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)

# The DLLs to ship are read from the imports of the program and the plugins.
# What Windows itself provides is told apart by Wine's copies of the system
# DLLs: an import found nowhere fails the install, so a DLL the folder lacks
# cannot go unnoticed. CMake looks DLLs up by their lower-case names, as
# Windows ignores case; on Linux, Qt's need lower-case links to be found.
get_target_property(qt_core Qt5::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin ${qt_core} DIRECTORY)
set(qt_links ${PROJECT_BINARY_DIR}/qt-dlls-by-lower-case-name)
file(MAKE_DIRECTORY ${qt_links})
file(GLOB qt_dlls ${qt_bin}/*.dll)
foreach(dll IN LISTS qt_dlls)
    get_filename_component(name ${dll} NAME)
    string(TOLOWER ${name} name)
    file(CREATE_LINK ${dll} ${qt_links}/${name} SYMBOLIC)
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(compiler_runtime ${libgcc} DIRECTORY)
find_path(TAVLINO_WINDOWS_SYSTEM_DLLS kernel32.dll
          PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows NO_CMAKE_FIND_ROOT_PATH
          DOC "Wine's 64-bit Windows DLLs, which tell the system's DLLs from those to ship")
if(NOT TAVLINO_WINDOWS_SYSTEM_DLLS)
    message(FATAL_ERROR "Wine's Windows DLLs are missing: install wine64")
endif()
install(CODE "
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${CMAKE_OBJDUMP})
    set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(GET_RUNTIME_DEPENDENCIES
         EXECUTABLES \"\${folder}/tavlino.exe\"
         LIBRARIES \"\${folder}/platforms/qwindows.dll\" \"\${folder}/styles/qwindowsvistastyle.dll\"
         RESOLVED_DEPENDENCIES_VAR dlls UNRESOLVED_DEPENDENCIES_VAR missing
         DIRECTORIES ${qt_links} ${compiler_runtime} ${CMAKE_FIND_ROOT_PATH}/lib
                     ${TAVLINO_WINDOWS_SYSTEM_DLLS}
         POST_EXCLUDE_REGEXES \"^${TAVLINO_WINDOWS_SYSTEM_DLLS}/\")
    if(missing)
        message(FATAL_ERROR \"imported, but found nowhere: \${missing}\")
    endif()
    foreach(dll IN LISTS dlls)
        file(REAL_PATH \${dll} dll)
        file(INSTALL \${dll} DESTINATION \${folder})
    endforeach()
")
# Only the program is stripped by CPack; Debian's libstdc++-6.dll alone is
# 24 MB with its symbols.
install(CODE "
    file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \${dlls} COMMAND_ERROR_IS_FATAL ANY)
")

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Tavlino)
set(CPACK_PACKAGE_VENDOR Orvek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tavlino-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tavlino serial terminal")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# No version in the folder, the Start-menu folder or the keys, so that a
# newer version replaces an older one instead of settling beside it.
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tavlino)
# The installer's own key lives under Software\Orvek, where the program
# keeps its settings in Software\Orvek\Tavlino: a name of its own keeps the
# uninstaller's DeleteRegKey away from them.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Tavlino Setup")
set(CPACK_NSIS_PACKAGE_NAME Tavlino)
set(CPACK_NSIS_DISPLAY_NAME Tavlino)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/tavlino.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/tavlino.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME tavlino.exe)
# A 64-bit installer (CPack's default stub is 32-bit, which would install
# into Program Files (x86)), and files dated by the build, not by the clock.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\nSetDateSave off")
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Tavlino.lnk' '$INSTDIR\\tavlino.exe' '' '$INSTDIR\\tavlino.exe' 0")
# Runs after the installer's key is gone: Software\Orvek goes too when
# nothing else of Orvek's is left in it.
set(CPACK_NSIS_DELETE_ICONS_EXTRA
    "Delete '$SMPROGRAMS\\$MUI_TEMP\\Tavlino.lnk'\nDeleteRegKey /ifempty SHCTX 'Software\\Orvek'")
include(CPack)
