# Chooses the build configuration; sourced by build.sh and test.sh before
# they read their other arguments. "--checked" as the first argument (or
# QRV_PRESET=checked) selects the checked configuration in build-checked/,
# otherwise the default one in build/. Sets QRV_PRESET and QRV_BUILD_DIR and
# drops "--checked" from the arguments.
QRV_PRESET="${QRV_PRESET:-default}"
if [ "${1:-}" = "--checked" ]; then
  QRV_PRESET=checked
  shift
fi
case "$QRV_PRESET" in
  default) QRV_BUILD_DIR=build ;;
  checked) QRV_BUILD_DIR=build-checked ;;
  *) echo "$(basename "$0"): unknown preset '$QRV_PRESET' (default or checked)" >&2; exit 2 ;;
esac
