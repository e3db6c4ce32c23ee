# Cross build for 32-bit Arm Linux with hardware floating point, as on
# Raspberry Pi OS 32-bit. The tests run it under qemu-arm (Debian:
# qemu-user) and under Debian's armhf kernel.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
