# Cross build for 64-bit Arm Linux. The tests run it under qemu-aarch64
# (Debian: qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
