# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so that
# std::thread and std::mutex work) and runs the results under Wine.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DORVIK_WINDOWS_DEPS="$(bash scripts/windows-deps.sh)"
#
# Libraries come from the MinGW sysroot (zlib) and from ORVIK_WINDOWS_DEPS, the folder of static
# libraries (zstd, curl, GoogleTest, libsodium) that scripts/windows-deps.sh builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVIK_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVIK_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVIK_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVIK_MINGW_HOST}-windres)

# try_compile projects read this file again but see only the variables listed here.
if(NOT DEFINED ORVIK_WINDOWS_DEPS AND DEFINED ENV{ORVIK_WINDOWS_DEPS})
  set(ORVIK_WINDOWS_DEPS $ENV{ORVIK_WINDOWS_DEPS})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVIK_WINDOWS_DEPS)

# Headers and libraries only from the Windows side; programs (pkg-config, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ORVIK_MINGW_HOST} ${ORVIK_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${ORVIK_WINDOWS_DEPS}/lib/pkgconfig:/usr/${ORVIK_MINGW_HOST}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The .exe files carry libgcc, libstdc++ and winpthread inside, so they need no MinGW DLLs;
# -static also makes -lz pick libz.a over the sysroot's import library.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest, gtest_discover_tests and try_run start the .exe files through Wine, in a Wine prefix of
# the build tree's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
