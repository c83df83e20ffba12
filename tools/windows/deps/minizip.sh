# minizip's unzip API (the zip reader the extraction uses) from Debian's source package, over
# zlib from libz-mingw-w64-dev. Only unzip.c and ioapi.c are needed; the headers go where the
# Linux build finds them (<unzip.h>), with a pkg-config file of the same name.
dep_build_minizip() {
    local src=$1 prefix=$2
    mkdir -p "$prefix/include/minizip" "$prefix/lib/pkgconfig"
    for c in unzip ioapi; do
        "$MINGW_CC" -O2 -c "$src/$c.c" -o "$src/$c.o"
    done
    "$MINGW_AR" rcs "$prefix/lib/libminizip.a" "$src/unzip.o" "$src/ioapi.o"
    cp "$src/unzip.h" "$src/ioapi.h" "$prefix/include/minizip/"
    cat > "$prefix/lib/pkgconfig/minizip.pc" <<PC
prefix=$prefix
Name: minizip
Description: zip reading over zlib
Version: $DEP_VERSION
Cflags: -I\${prefix}/include/minizip
Libs: -L\${prefix}/lib -lminizip -lz
PC
}
