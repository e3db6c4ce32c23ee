# Cross build for 32-bit Arm Linux with hardware floating point, Debian's
# armhf: ARMv7 and Thumb-2 code, which the ARMv6 of a Raspberry Pi Zero or
# Pi 1 does not run. The tests build with it the programs without 64-bit
# offsets for Debian's armhf kernel, and the old armhf program that must
# die on an ARM1176.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
