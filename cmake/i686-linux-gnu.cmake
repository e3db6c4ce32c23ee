# Cross build for 32-bit x86 Linux. Debian's libc6-i386 runs it on a 64-bit
# x86 machine whose kernel allows.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
