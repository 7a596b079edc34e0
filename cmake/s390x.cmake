# Cross build for s390x, a big-endian processor: Debian's crossbuild-essential-s390x compilers,
# the libraries unpacked by scripts/s390x-sysroot, tests run under qemu-s390x.
# Use with -DBW_CORE_ONLY=ON: the host program's FFmpeg and Qt are not cross-built.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)

if(NOT BW_S390X_SYSROOT)
  set(BW_S390X_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/s390x-sysroot)
endif()
get_filename_component(BW_S390X_SYSROOT ${BW_S390X_SYSROOT} ABSOLUTE)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BW_S390X_SYSROOT)
set(BW_S390X_LIBS ${BW_S390X_SYSROOT}/usr/lib/s390x-linux-gnu ${BW_S390X_SYSROOT}/lib/s390x-linux-gnu)

# Headers and libraries from the sysroot and the cross toolchain only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH ${BW_S390X_SYSROOT} /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${BW_S390X_SYSROOT}/usr/lib/s390x-linux-gnu/pkgconfig:${BW_S390X_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${BW_S390X_SYSROOT})

# The libraries' own dependencies (libtiff's zstd, lzma, ...) are found at link time and at run time
# in the sysroot; the dynamic loader and libc come from the cross toolchain's folder.
list(JOIN BW_S390X_LIBS ":" _bw_s390x_path)
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_bw_s390x_path}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_bw_s390x_path}")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_bw_s390x_path}")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu -E LD_LIBRARY_PATH=${_bw_s390x_path})
