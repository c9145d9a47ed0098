# Sourced by the scripts that build the Python module's wheel: adds to the array `need` the Debian
# packages that a build with Debian's Python (/usr/bin/python3) and setuptools needs, where
# missing.
command -v g++ >/dev/null || need+=(g++)
/usr/bin/python3 -c 'import os, sys, sysconfig
sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' ||
  need+=(python3-dev)
/usr/bin/python3 -m pip --version >/dev/null 2>&1 || need+=(python3-pip)
/usr/bin/python3 -c 'import setuptools' 2>/dev/null || need+=(python3-setuptools)
/usr/bin/python3 -c 'import wheel' 2>/dev/null || need+=(python3-wheel)
