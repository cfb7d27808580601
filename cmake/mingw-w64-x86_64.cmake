# Cross-compiling for Windows x86-64 with Debian's mingw-w64 (the POSIX
# threads flavour, which std::thread and std::mutex need):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Everything links the C and C++ runtimes statically, so postrix.dll and the
# test programs need no mingw DLLs beside them. CTest runs each Windows
# program under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(POSTRIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${POSTRIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${POSTRIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${POSTRIX_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${POSTRIX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${POSTRIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(POSTRIX_WINE wine)
if(POSTRIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${POSTRIX_WINE})
endif()
