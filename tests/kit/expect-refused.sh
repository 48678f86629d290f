# Sourced by the tests that plant violations for a check (tests/layering, tests/threadsafety).
#   expect_refused <name> <what was planted> <expected message> <command>...
# The command must fail and print the expected message. Prints "ok: <name>", or what went wrong
# and sets status=1.
expect_refused() {
  local name=$1 planted=$2 expected=$3 out
  shift 3
  if out=$("$@" 2>&1); then
    echo "FAILED: $name ($planted) passed the check"; status=1
  elif ! grep -qF -- "$expected" <<<"$out"; then
    echo "FAILED: $name: expected \"$expected\" in:"; echo "$out"; status=1
  else
    echo "ok: $name"
  fi
}
