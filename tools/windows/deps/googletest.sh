# GoogleTest and GoogleMock for the Windows test programs, from the source that Debian's
# libgtest-dev installs under /usr/src/googletest (no download).
DEP_LOCAL_SOURCE_googletest=/usr/src/googletest
DEP_PACKAGE_googletest=libgtest-dev
dep_build_googletest() {
    local src=$1 prefix=$2
    cmake -S "$src" -B "$src/build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF
    cmake --build "$src/build-windows"
    cmake --install "$src/build-windows"
}
