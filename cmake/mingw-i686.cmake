# Cross-compiles for 32-bit Windows, the tool's home platform. Programs run
# under Wine's 32-bit loader (wine32) when tests call them.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(OX_MINGW_TRIPLE i686-w64-mingw32)
set(OX_WINE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
