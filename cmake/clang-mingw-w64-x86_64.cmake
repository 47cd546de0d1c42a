# The same Windows build with clang instead of g++: MinGW-w64's headers,
# gcc's libstdc++ (posix threads variant) and windres, linked by lld.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# clang looks for gcc's MinGW-w64 files in a folder named by a bare version
# and does not take Debian's "12-posix": name it.
file(GLOB mingw_gcc_dirs /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(GET mingw_gcc_dirs -1 mingw_gcc_dir)
string(JOIN " " CMAKE_CXX_FLAGS_INIT
       -stdlib++-isystem ${mingw_gcc_dir}/include/c++
       -stdlib++-isystem ${mingw_gcc_dir}/include/c++/x86_64-w64-mingw32
       -stdlib++-isystem ${mingw_gcc_dir}/include/c++/backward)
# g++-posix links winpthreads by itself; clang must be told. GNU ld warns
# about type names clang and gcc lay out differently; lld does not mind.
string(JOIN " " CMAKE_EXE_LINKER_FLAGS_INIT -B${mingw_gcc_dir} -L${mingw_gcc_dir} -fuse-ld=lld -lpthread)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
