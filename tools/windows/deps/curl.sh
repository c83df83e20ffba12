# libcurl from Debian's source package: static, HTTP and HTTPS only (TLS through Windows' own
# Schannel), zlib for compressed answers from Debian's libz-mingw-w64-dev.
dep_build_curl() {
    local src=$1 prefix=$2
    cmake -S "$src" -B "$src/build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON \
        -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
        -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_DISABLE_LDAP=ON \
        -DCURL_DISABLE_LDAPS=ON -DENABLE_UNIX_SOCKETS=OFF -DCURL_DISABLE_ALTSVC=ON \
        -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_NTLM=ON -DCURL_DISABLE_KERBEROS_AUTH=ON \
        -DCURL_DISABLE_NEGOTIATE_AUTH=ON -DCURL_DISABLE_COOKIES=ON
    cmake --build "$src/build-windows"
    cmake --install "$src/build-windows"
}
