#!/usr/bin/env bash
# Lintian on the three Debian packages cpack built in BUILD_DIR: an error or a warning fails,
# but for the tags this project's placeholders give (the maintainer address while it is the
# @localhost one, a first upload that closes no bug, the postinst and postrm that do nothing
# and stand there so that the ldconfig trigger, not a call, renews the library cache).
# Usage: lintian.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2

if ! command -v lintian >/dev/null; then
  echo "SKIPPED: lintian is not installed (Debian: apt-get install lintian)"; exit 0
fi
. "$(dirname "$0")/debs.sh"

allowed=initial-upload-closes-no-bugs,maintainer-script-empty
if dpkg-deb -f "${debs[0]}" Maintainer | grep -q '@localhost>$'; then
  allowed+=,bogus-mail-host,bogus-mail-host-in-debian-changelog
fi
report=$(lintian --tag-display-limit 0 --suppress-tags "$allowed" "${debs[@]}" 2>&1 || true)
found=$(grep -E '^[EW]: ' <<<"$report" || true)
if [ -n "$found" ]; then
  echo "lintian found:"; echo "$found"; exit 1
fi
echo "lintian: no error or warning in ${debs[*]##*/} (allowed: $allowed)"
