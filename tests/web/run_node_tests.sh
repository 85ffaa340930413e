#!/bin/sh
# Installs the package's tarball into an empty folder with npm, offline, as a
# user would, and runs there either its Node tests or the TypeScript check.
#   run_node_tests.sh node|types TARBALL TEST_SOURCE_DIR
set -eu
mode=$1
tarball=$2
tests=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/wavepitch-web.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '{ "private": true, "type": "module" }\n' >package.json
npm install --offline --no-audit --no-fund --loglevel=error "$tarball"

case "$mode" in
  node)
    cp "$tests"/*.test.mjs .
    node --test ./*.test.mjs
    ;;
  types)
    cp "$tests/types.ts" .
    tsc --noEmit --strict --target es2022 --module node16 --moduleResolution node16 \
      --lib es2022,dom types.ts
    echo "types.ts: type-checked against the package's declarations"
    ;;
  *)
    echo "run_node_tests: unknown mode $mode" >&2
    exit 2
    ;;
esac
