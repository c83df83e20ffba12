# tinyxml2 from Debian's source package, static.
dep_build_tinyxml2() {
    local src=$1 prefix=$2
    cmake -S "$src" -B "$src/build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -Dtinyxml2_BUILD_TESTING=OFF
    cmake --build "$src/build-windows"
    cmake --install "$src/build-windows"
}
