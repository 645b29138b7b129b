#!/usr/bin/env bash
# Runs the Python tests under Debian 13 (CPython 3.13, NumPy 2.x) against the
# abi3 wheel built here, in a root made with debootstrap and kept for reuse.
#
#   tests/trixie/run.sh ROOT WHEEL TESTS_DIR
#
# ROOT is created on the first run (a few minutes) and reused afterwards; a
# root that was not completed, or was made with other packages, is made anew.
# Needs root (debootstrap, chroot).
set -euo pipefail
[ "$(id -u)" = 0 ] || exec sudo "$0" "$@"

root=$(realpath -m "$1")
wheel=$(realpath "$2")
tests=$(realpath "$3")
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The companion's optional dependencies come too, so its tests run on NumPy 2.
packages=python3,python3-numpy,python3-pytest,python3-hypothesis,python3-pip,python3-venv,binutils
packages+=,python3-pandas,python3-matplotlib,python3-tqdm,python3-distributed,graphviz

# A root made for another package list is made anew.
if [ "$(cat "$root/.complete" 2>/dev/null)" != "$packages" ]; then
  umount "$root/proc" 2>/dev/null || true
  rm -rf "$root" "$root.tmp"
  echo "debootstrap: Debian 13 into $root (done once)"
  debootstrap --variant=minbase --include="$packages" trixie "$root.tmp" "$mirror" \
    > "$root.log" 2>&1 || { tail -20 "$root.log"; exit 1; }
  echo "$packages" > "$root.tmp/.complete"
  mv "$root.tmp" "$root"
fi

# The wheel and the tests, fresh for every run.
rm -rf "$root/opt/varnel"
mkdir -p "$root/opt/varnel/wheel"
cp "$wheel" "$root/opt/varnel/wheel/"
cp -r "$tests" "$root/opt/varnel/tests"
find "$root/opt/varnel/tests" -name __pycache__ -prune -exec rm -rf {} +

mounted=
if [ ! -e "$root/proc/self" ] && mount -t proc proc "$root/proc" 2>/dev/null; then
  mounted=1
fi
trap '[ -z "$mounted" ] || umount "$root/proc"' EXIT

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    ${RAYON_NUM_THREADS:+RAYON_NUM_THREADS=$RAYON_NUM_THREADS} "$@"
}

# The point of the run: a newer CPython than the wheel's 3.11, and NumPy 2.
in_root python3 -c '
import sys, numpy
print("Debian 13: Python", sys.version.split()[0], "NumPy", numpy.__version__)
assert sys.version_info >= (3, 13) and int(numpy.__version__.split(".")[0]) >= 2'
[ -x "$root/opt/venv/bin/python" ] || in_root python3 -m venv --system-site-packages /opt/venv
in_root /opt/venv/bin/python -m pip install -q --no-index --no-deps --force-reinstall \
  --disable-pip-version-check /opt/varnel/wheel/"$(basename "$wheel")"
in_root sh -c 'cd /opt/varnel/tests/python && /opt/venv/bin/python -m pytest -q -p no:cacheprovider'
