# Sourced by ./run and ./test: configures and builds the Windows programs (and, for the
# tests, the portable core natively).
skykit_build() {
  cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$ROOT/build"
}
skykit_build_native() {
  cmake -S "$ROOT" -B "$ROOT/build/native" -G Ninja -DSKYKIT_NATIVE=ON >/dev/null
  cmake --build "$ROOT/build/native"
}
