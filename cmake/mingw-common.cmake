# What the mingw-w64 toolchain files share; they set OX_MINGW_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and OX_WINE_RUNNER (the script that starts a
# program under Wine) first. Debian's mingw-w64 with the posix thread
# model, which gives the C++ runtime its std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${OX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${OX_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${OX_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "ranlib")

set(CMAKE_FIND_ROOT_PATH /usr/${OX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program is self-contained: no libgcc, libstdc++ or winpthread DLL
# has to travel with it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and test discovery start the programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${OX_WINE_RUNNER})
