# Shared part of the mingw-w64 toolchain files; QV_MINGW_TRIPLET is set.
set(CMAKE_C_COMPILER ${QV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QV_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ICU_ROOT (the cross-built ICU) lies outside the root path: search it too.
list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{ICU_ROOT}" "${ICU_ROOT}")
# So does the cross-built Google Benchmark of the benchmark build (benchmark_ROOT).
if(benchmark_ROOT)
  list(APPEND CMAKE_FIND_ROOT_PATH "${benchmark_ROOT}")
endif()
# The C and C++ runtimes go into each binary; only the threads runtime
# (libwinpthread-1.dll) stays a DLL, found through WINEPATH by the emulator.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# The top-level CMakeLists.txt makes ctest run the .exe files through a Wine
# wrapper (cmake/wine-run.sh.in); QV_WINE names the Wine command.
set(QV_WINE wine CACHE STRING "Wine command that runs the Windows test programs")
