# 64-bit Windows: the same programs, for testing where 32-bit programs cannot run and to keep
# the code free of 32-bit assumptions.
set(TAGZO_MINGW_MACHINE x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
