# Builds with zig's clang for one target and glibc version, from any host:
#
#   -DCMAKE_TOOLCHAIN_FILE=packaging/zig-toolchain.cmake
#   -DBRINTEL_ZIG=/path/to/zig -DBRINTEL_ZIG_TARGET=aarch64-linux-gnu.2.28
#
# zig links against stubs of that glibc version, so nothing newer can slip
# in, and links LLVM's C++ runtime statically. ZIG_GLOBAL_CACHE_DIR, when
# set, keeps zig's cache (the runtime built once per target) in the build tree.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${BRINTEL_ZIG_TARGET}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRINTEL_ZIG BRINTEL_ZIG_TARGET)

if(NOT BRINTEL_ZIG OR NOT BRINTEL_ZIG_TARGET)
  message(FATAL_ERROR "zig-toolchain.cmake needs BRINTEL_ZIG (the zig executable) and BRINTEL_ZIG_TARGET")
endif()

# CMake wants one executable per tool; zig is one executable with subcommands.
set(wrappers ${CMAKE_BINARY_DIR}/zig-${BRINTEL_ZIG_TARGET})
foreach(tool cc c++ ar ranlib)
  set(target_option "")
  if(tool MATCHES "^c")
    set(target_option "-target ${BRINTEL_ZIG_TARGET}")
  endif()
  file(CONFIGURE OUTPUT ${wrappers}/${tool} CONTENT "#!/bin/sh\nexec \"${BRINTEL_ZIG}\" ${tool} ${target_option} \"$@\"\n")
  file(CHMOD ${wrappers}/${tool} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_C_COMPILER ${wrappers}/cc)
set(CMAKE_CXX_COMPILER ${wrappers}/c++)
set(CMAKE_AR ${wrappers}/ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${wrappers}/ranlib CACHE FILEPATH "")

# zig hands clang -O2 for -O3 (its ReleaseFast); -Xclang gives clang's own
# -O3, the last level clang is given, so the wheels are optimised as the
# builds from source are. zig keeps frame pointers, which g++ leaves out at
# -O3; the wheels leave them out too (2 % of a read).
set(CMAKE_C_FLAGS_INIT "-fomit-frame-pointer")
set(CMAKE_CXX_FLAGS_INIT "-fomit-frame-pointer")
set(CMAKE_C_FLAGS_RELEASE_INIT "-Xclang -O3")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-Xclang -O3")

# CMake's compiler checks build a static library, not a program: linking one
# would make zig build the C++ runtime once more, for executables.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Stripped at link time: the host's strip may not know the target.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-s -Wl,--build-id=sha1")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-s -Wl,--build-id=sha1")

# For the bill of materials and the licence checks.
get_filename_component(BRINTEL_ZIG_LIB_DIR ${BRINTEL_ZIG} DIRECTORY)
set(BRINTEL_ZIG_LIB_DIR ${BRINTEL_ZIG_LIB_DIR}/lib)
execute_process(COMMAND ${BRINTEL_ZIG} version OUTPUT_VARIABLE BRINTEL_ZIG_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE)
