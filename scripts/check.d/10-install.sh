#!/usr/bin/env bash
# Makes the cs_CZ.UTF-8 locale (decimal comma) available for the test that
# runs the program under it; installs the locales package first when its
# sources are missing. Quick when the locale is already there. When it cannot
# be had (no root, no apt-get), says so and goes on: that test then skips.
set -uo pipefail

# strace injects the faults of the save fault tests (tests/save_test.cpp), which skip without it.
command -v strace >/dev/null 2>&1 || { s=""; [ "$(id -u)" -eq 0 ] || s="sudo -n"; $s apt-get update -qq >/dev/null && DEBIAN_FRONTEND=noninteractive $s apt-get install -y -qq strace >/dev/null; } || echo "warning: strace not installed; the save fault tests will be skipped"

has_locale() { locale -a 2>/dev/null | grep -qixE 'cs_CZ\.(utf8|utf-8)'; }

if has_locale; then
  echo "locale cs_CZ.UTF-8: present"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"

if [ ! -e /usr/share/i18n/locales/cs_CZ ] || ! command -v localedef >/dev/null 2>&1; then
  if command -v apt-get >/dev/null 2>&1; then
    echo "installing the locales package"
    $sudo apt-get update -qq >/dev/null &&
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq locales >/dev/null ||
      echo "warning: could not install locales"
  fi
fi

if command -v localedef >/dev/null 2>&1; then
  $sudo localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8 2>/dev/null || true
fi

if has_locale; then
  echo "locale cs_CZ.UTF-8: generated"
else
  echo "warning: locale cs_CZ.UTF-8 not available; the decimal-comma test will be skipped"
fi
exit 0
