# The Windows build's layout and packages: the programs with Qt as DLLs beside them, the platform,
# style and image-format plugins, the compiler's runtime and Qt's licence texts, packed as a zip and
# as an NSIS installer with a Start-menu entry and an uninstaller (`cpack` in the build folder).

# The compiler's runtime libraries the programs and Qt's DLLs load.
set(QUORVANE_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    find_file(QUORVANE_RUNTIME_${dll} ${dll}
        PATHS /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    list(APPEND QUORVANE_MINGW_RUNTIME ${QUORVANE_RUNTIME_${dll}})
endforeach()

install(FILES
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::Network>
    ${QUORVANE_MINGW_RUNTIME}
    DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
# The main window's logo is a GIF and its icon an ICO, read through these plug-ins.
install(FILES $<TARGET_FILE:Qt6::QGifPlugin> $<TARGET_FILE:Qt6::QICOPlugin> DESTINATION imageformats)
get_target_property(QUORVANE_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(QUORVANE_QT_PREFIX "${QUORVANE_QT_CORE_DLL}" DIRECTORY)
get_filename_component(QUORVANE_QT_PREFIX "${QUORVANE_QT_PREFIX}" DIRECTORY)
install(DIRECTORY "${QUORVANE_QT_PREFIX}/licenses/" DESTINATION licenses/Qt)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/windows/README.txt" DESTINATION .)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Quorvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Re-create the primary keys of a Navision 4.0 SQL Server database as clustered keys")
set(CPACK_PACKAGE_FILE_NAME "quorvane-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvane)
set(CPACK_PACKAGE_EXECUTABLES quorvane Quorvane)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_DISPLAY_NAME Quorvane)
set(CPACK_NSIS_PACKAGE_NAME Quorvane)
set(CPACK_NSIS_INSTALLED_ICON_NAME quorvane.exe)
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/packaging/icons/quorvane.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/packaging/icons/quorvane.ico")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer like the program it installs: it runs where only 64-bit Windows programs do.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# The installer is named apart from the zip.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/WindowsPackageNames.cmake")
include(CPack)
