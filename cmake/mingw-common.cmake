# Shared settings of the two MinGW-w64 cross toolchains. The including file sets VOG_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VOG_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOG_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VOG_TRIPLET}-windres)
set(VOG_WIDL ${VOG_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${VOG_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Nothing but system DLLs beside our binaries: the C++ runtime and winpthread go in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
