# SPDX-License-Identifier: MIT
# project()'s version under the name the build files use.
set(TAVREST_VERSION ${tavrest_VERSION})
