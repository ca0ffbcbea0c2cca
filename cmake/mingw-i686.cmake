# 32-bit Windows: the product.
set(TAGZO_MINGW_MACHINE i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
