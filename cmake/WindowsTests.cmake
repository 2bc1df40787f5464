# The Windows tests run under Wine: CTest starts every test program through wine-run.sh, which
# this writes into the build folder with the paths of Qt's and the compiler's DLLs.
get_target_property(QUORVANE_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(QUORVANE_QT_BIN "${QUORVANE_QT_CORE_DLL}" DIRECTORY)
set(QUORVANE_WINEPATH)
foreach(folder "${QUORVANE_QT_BIN}" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
    string(REPLACE "/" "\\" folder "Z:${folder}")
    list(APPEND QUORVANE_WINEPATH "${folder}")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/tools/windows/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh @ONLY)
file(CHMOD ${PROJECT_BINARY_DIR}/wine-run.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh)
