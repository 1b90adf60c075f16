# SPDX-License-Identifier: MIT
# A manual page as installed: the footer's "tavrest VERSION" set to the
# project's version, then compressed as Debian wants it (gzip -9n: no name,
# no time stamp, so that the same page gives the same bytes).
#   cmake -DSOURCE=page.1 -DOUTPUT=dir/page.1.gz -DVERSION=1.0.0 -P man_page.cmake
file(READ ${SOURCE} page)
string(REGEX REPLACE "(\\.TH [^\n]*)\"tavrest[^\"\n]*\"" "\\1\"tavrest ${VERSION}\"" page "${page}")
string(REGEX REPLACE "\\.gz$" "" plain ${OUTPUT})
file(WRITE ${plain} "${page}")
execute_process(COMMAND gzip -9nf ${plain} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip could not compress ${plain}")
endif()
