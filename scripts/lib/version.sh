# Sourced by the stages: build_version [BUILD-DIR] prints the version the build was configured
# with (the project's, the one source of every version the library shows), from build/ by default.
build_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${1:-build}/CMakeCache.txt"
}
