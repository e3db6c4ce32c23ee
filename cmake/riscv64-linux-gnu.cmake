# Cross build for 64-bit RISC-V Linux. The tests run it under qemu-riscv64
# (Debian: qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(CMAKE_CXX_COMPILER riscv64-linux-gnu-g++)
