# One version for the programs and the installed package.
set(TAVREST_VERSION 1.0.0)
