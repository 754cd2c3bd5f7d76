set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VOG_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# The 64-bit binaries run here under Wine; CTest puts this in front of our own targets.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
