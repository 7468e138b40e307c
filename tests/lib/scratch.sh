# Sourced by the test scripts that start simulators: a scratch folder `work`; `pids`, the
# background processes to stop; both cleared away when the script exits, however it exits; and
# `fail`, which says what went wrong and ends the script (with QUENDAL_KEEP naming a folder, the
# scratch folder is copied there first, to be looked at).
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -z "${QUENDAL_KEEP:-}" ] || cp -r "$work" "$QUENDAL_KEEP"
  exit 1
}
