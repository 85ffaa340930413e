#!/bin/sh
# Installs the package's tarball into an empty folder with npm, offline, as a
# user would, and runs there its Node tests, the TypeScript check or the
# browser test. The browser test's own packages (puppeteer-core) are
# installed with npm ci from this folder's package-lock.json into DEPS_DIR.
#   run_node_tests.sh node|types|browser TARBALL TEST_SOURCE_DIR [DEPS_DIR]
set -eu
mode=$1
tarball=$2
tests=$3
deps=${4:-}

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
  browser)
    mkdir -p "$deps"
    if ! cmp -s "$tests/package-lock.json" "$deps/package-lock.json" || [ ! -d "$deps/node_modules" ]; then
      cp "$tests/package.json" "$tests/package-lock.json" "$deps/"
      (cd "$deps" && npm ci --no-audit --no-fund --loglevel=error)
    fi
    cp "$tests/browser_check.mjs" .
    WEB_BROWSER_DEPS=$deps node --test ./browser_check.mjs
    ;;
  *)
    echo "run_node_tests: unknown mode $mode" >&2
    exit 2
    ;;
esac
