# Sourced by the set-up scripts: runs a named stage and prints how long it took.
stage() {
  local name=$1; shift
  local start=$SECONDS
  echo "==> $name"
  "$@"
  echo "==> $name took $((SECONDS - start)) s"
}
