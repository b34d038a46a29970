# Windows 32-bit x86 (build-windows-x86/), for a 32-bit qnliodll.dll: see mingw-w64.cmake.
set(QNL_MINGW_TARGET i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
