# Cross-compiles for 64-bit Windows, where the tests run on hosts that do
# not start i386 programs (and so not wine32). Programs run under Wine's
# 64-bit loader, called directly (scripts/wine64-run.sh).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(OX_MINGW_TRIPLE x86_64-w64-mingw32)
set(OX_WINE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64-run.sh)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
