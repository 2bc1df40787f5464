# The project's own cross build: the compilers of mingw-w64.cmake, and packages (Qt for mingw,
# named by CMAKE_PREFIX_PATH or Qt6_DIR) found outside the compilers' own root.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
