# Windows x86-64 (build-windows/): see mingw-w64.cmake.
set(QNL_MINGW_TARGET x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
