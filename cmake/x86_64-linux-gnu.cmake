# Build for 64-bit x86 Linux with Debian's compiler for it, named by its
# triple like the cross compilers, so that cmake/musl.cmake takes it as it
# takes them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-linux-gnu-g++)
