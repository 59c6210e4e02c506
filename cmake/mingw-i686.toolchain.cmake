# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KB_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KB_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KB_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KB_TRIPLET}-windres)

# The second root holds libpng, built from Debian's sources by scripts/lib.
set(CMAKE_FIND_ROOT_PATH /usr/${KB_TRIPLET} ${CMAKE_CURRENT_LIST_DIR}/../build/deps/prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
