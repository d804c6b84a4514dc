# 64-bit big-endian s390x Linux: the module, the host with its system codec
# set and the tests. The codec libraries come from a private sysroot of
# Debian's s390x packages (scripts/s390x-sysroot.sh), named by
# PICTRA_S390X_SYSROOT (cache variable or environment).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(PICTRA_CROSS_PREFIX s390x-linux-gnu)
set(CMAKE_C_COMPILER ${PICTRA_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${PICTRA_CROSS_PREFIX}-g++)
set(CMAKE_NM ${PICTRA_CROSS_PREFIX}-nm)
set(CMAKE_READELF ${PICTRA_CROSS_PREFIX}-readelf)

if(NOT PICTRA_S390X_SYSROOT)
  set(PICTRA_S390X_SYSROOT $ENV{PICTRA_S390X_SYSROOT})
endif()
if(NOT IS_DIRECTORY "${PICTRA_S390X_SYSROOT}/usr/lib/${PICTRA_CROSS_PREFIX}")
  message(FATAL_ERROR "PICTRA_S390X_SYSROOT must name a sysroot made by scripts/s390x-sysroot.sh")
endif()
set(PICTRA_S390X_SYSROOT ${PICTRA_S390X_SYSROOT} CACHE PATH "s390x codec library sysroot")
# CMake reads this file again for its own test projects, which see neither
# the cache nor the variable: the environment carries it there.
set(ENV{PICTRA_S390X_SYSROOT} ${PICTRA_S390X_SYSROOT})
set(libdir ${PICTRA_S390X_SYSROOT}/usr/lib/${PICTRA_CROSS_PREFIX})
# zlib's shared library sits in /lib rather than /usr/lib.
set(libdirs ${libdir}:${PICTRA_S390X_SYSROOT}/lib/${PICTRA_CROSS_PREFIX})

# pkg-config sees only the sysroot's .pc files and prefixes their paths.
set(ENV{PKG_CONFIG_LIBDIR} ${libdir}/pkgconfig:${PICTRA_S390X_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${PICTRA_S390X_SYSROOT})
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_FIND_ROOT_PATH /usr/${PICTRA_CROSS_PREFIX} ${PICTRA_S390X_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# libspng needs zlib, which the linker and the loader find in the sysroot.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${libdirs}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath-link,${libdirs}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${libdirs}")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/${PICTRA_CROSS_PREFIX} -E LD_LIBRARY_PATH=${libdirs})
