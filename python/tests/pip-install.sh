#!/bin/sh
# pip install of the package works offline: into a fresh virtual
# environment, from a copy of the source (the build leaves nothing in the
# tree), with Debian's setuptools and no index. The installed package
# imports and its pytest plugin is found by its entry point.
#   pip-install.sh PYTHON PACKAGE_DIR
set -eu
unset PYTHONPATH  # the installed package, not the source tree
python=$1
source=$2
if ! "$python" -c 'import venv' 2>/dev/null || ! "$python" -m pip --version >/dev/null 2>&1; then
    echo "pip or venv is not installed for $python (Debian: python3-pip, python3-venv): skipped" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$source" "$work/src"
"$python" -m venv --system-site-packages --without-pip "$work/venv"
"$python" -m pip --python "$work/venv/bin/python" install --no-index --no-build-isolation --quiet "$work/src"
"$work/venv/bin/python" - "$work/venv" <<'PY'
import sys
from importlib.metadata import entry_points

import deve

venv = sys.argv[1]
assert deve.__file__.startswith(venv), f"deve imported from {deve.__file__}, not from the virtual environment"
plugins = [e for e in entry_points(group="pytest11") if e.name == "deve"]
assert plugins and plugins[0].value == "deve.pytest_plugin", plugins
plugins[0].load()
print(f"deve {deve.__version__} installed offline at {deve.__file__}; pytest11 entry point {plugins[0].value}")
PY
