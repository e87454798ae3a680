# GoogleTest for a target platform that has no binary package of it (the
# mingw-w64 cross build): built inside this build from Debian's source package
# `googletest`. Later find_package(GTest) calls resolve to these targets.
include(FetchContent)

set(QRB_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree (Debian package googletest)")
if(NOT EXISTS ${QRB_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest source in ${QRB_GOOGLETEST_SOURCE}: install the Debian package googletest")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
FetchContent_Declare(GTest SOURCE_DIR ${QRB_GOOGLETEST_SOURCE} OVERRIDE_FIND_PACKAGE)
FetchContent_MakeAvailable(GTest)
