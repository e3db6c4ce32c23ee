# CMake's Cygwin platform with the MinGW-w64 compiler and its PE linker.
# Build-only: it proves that the build passes a PE linker only the flags it
# takes. There is no Cygwin DLL here, and the result never runs.
set(CMAKE_SYSTEM_NAME CYGWIN)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
