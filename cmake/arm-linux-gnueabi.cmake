# Cross build for 32-bit Arm Linux with software floating point, ARMv5TE
# and later: Debian's armel. Static on musl, the same program runs on the
# ARMv6 of the Raspberry Pi Zero and Pi 1 and on every later Arm, whatever
# the system's float ABI, so it is the armhf release program too. The
# tests run it under qemu-arm as an ARM926 and as an ARM1176.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
