# libcurl from Debian's source package: static, HTTP and HTTPS only (TLS through Windows' own
# Schannel), zlib for compressed answers from Debian's libz-mingw-w64-dev.
#
# Only the library is built, with curl's own makefile for GCC toolchains (lib/Makefile.mk), which
# takes its settings from lib/config-win32.h: a configure step would first run some 200 compiler
# checks, one at a time, which on a loaded 2-core machine took longer than the library itself.
# Every protocol but HTTP(S) and every feature the storage client does not use are left out.
dep_build_curl() {
    local src=$1 prefix=$2
    local disabled=(HTTP_ONLY CURL_DISABLE_ALTSVC CURL_DISABLE_HSTS CURL_DISABLE_NTLM
        CURL_DISABLE_KERBEROS_AUTH CURL_DISABLE_NEGOTIATE_AUTH CURL_DISABLE_COOKIES
        CURL_DISABLE_DOH CURL_DISABLE_MIME)
    # (Makefile.mk adds to CFLAGS, CPPFLAGS, CC and AR from the environment; its objects go to a folder
    # named after the target, made here since a parallel make would not wait for it.)
    mkdir -p "$src/lib/x86_64-w64-mingw32"
    CC=$MINGW_CC AR=$MINGW_AR CFLAGS=-O2 CPPFLAGS="-DCURL_STATICLIB ${disabled[*]/#/-D}" \
        make -C "$src/lib" -f Makefile.mk -j"$(nproc)" TRIPLET=x86_64-w64-mingw32 \
        CFG=-schannel-sspi-ipv6-zlib ZLIB_PATH=/usr/x86_64-w64-mingw32 libcurl.a
    mkdir -p "$prefix/include/curl" "$prefix/lib/cmake/CURL"
    cp "$src"/include/curl/*.h "$prefix/include/curl/"
    cp "$src/lib/libcurl.a" "$prefix/lib/"
    # What find_package(CURL) reads: the static library with the define and the system
    # libraries it needs.
    cat > "$prefix/lib/cmake/CURL/CURLConfig.cmake" <<'CMAKE'
# libcurl, static, built by tools/windows/deps/curl.sh.
if(NOT TARGET CURL::libcurl)
    get_filename_component(_curl_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
    find_package(ZLIB REQUIRED)
    add_library(CURL::libcurl STATIC IMPORTED)
    set_target_properties(CURL::libcurl PROPERTIES
        IMPORTED_LOCATION "${_curl_prefix}/lib/libcurl.a"
        INTERFACE_INCLUDE_DIRECTORIES "${_curl_prefix}/include"
        INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
        INTERFACE_LINK_LIBRARIES "ZLIB::ZLIB;ws2_32;crypt32;bcrypt;advapi32")
    unset(_curl_prefix)
endif()
CMAKE
    cat > "$prefix/lib/cmake/CURL/CURLConfigVersion.cmake" <<CMAKE
set(PACKAGE_VERSION "${DEP_VERSION%%-*}")
if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)
    set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
CMAKE
}
