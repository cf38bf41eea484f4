# What the wine test scripts share: counted checks, Windows paths and
# registry values. Sourced; expects $wine_run.

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what" >&2
    failed=$((failed + 1))
  fi
}

# The tally, and the script's status: failed if any check failed.
checks_done() {
  echo "$passed passed, $failed failed"
  [[ $failed == 0 ]]
}

windows_path() {
  local p
  p=$(realpath -m "$1")
  echo "Z:${p//\//\\}"
}

# A registry value as reg shows it (REG_SZ and REG_DWORD alike), or nothing.
# reg writes in the console's code page, 437 for the English locale.
registry_value() {
  { LC_ALL=en_US.UTF-8 "$wine_run" reg query "$1" /v "$2" 2>/dev/null || true; } |
    iconv -f CP437 -t UTF-8 | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# The data of every value directly below a key, a line each.
registry_values() {
  { LC_ALL=en_US.UTF-8 "$wine_run" reg query "$1" 2>/dev/null || true; } |
    iconv -f CP437 -t UTF-8 | tr -d '\r' | sed -n "s/^ *[^ ]* *REG_[A-Z_]* *//p"
}
