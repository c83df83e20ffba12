# libdeflate from Debian's source package: the static library only, decompression and CRC-32
# (what the zip extraction uses), built with its own Makefile, which names the archive
# libdeflatestatic.lib for MinGW. It is installed as libdeflate.a, with a pkg-config file of the
# name the Linux build asks for.
dep_build_libdeflate() {
    local src=$1 prefix=$2
    make -C "$src" -j"$(nproc)" CC="$MINGW_CC" AR="$MINGW_AR" DECOMPRESSION_ONLY=1 \
        DISABLE_ZLIB=1 libdeflatestatic.lib
    mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
    cp "$src/libdeflate.h" "$prefix/include/"
    cp "$src/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
    cat > "$prefix/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$prefix
Name: libdeflate
Description: whole-buffer DEFLATE decompression and CRC-32
Version: ${DEP_VERSION%%-*}
Cflags: -I\${prefix}/include
Libs: -L\${prefix}/lib -ldeflate
PC
}
