# The 32-bit build is compiled and linked only: this machine's kernel cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VOG_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
