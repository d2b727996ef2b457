# Sourced by the package tests: the three packages of $version that cpack built in $build,
# into the array debs; the test reports itself skipped when they are not there.
shopt -s nullglob
debs=("$build"/*_"$version"-*.deb)
if [ "${#debs[@]}" != 3 ]; then
  echo "SKIPPED: no packages of $version in $build: run cmake --workflow --preset package"
  exit 0
fi
