# Locates the dependencies that scripts/setup.sh installs or builds.

set(QRV_PCRE2_PREFIX "${CMAKE_SOURCE_DIR}/.cache/pcre2/install" CACHE PATH "PCRE2 (16-bit, static) install prefix")
find_library(QRV_PCRE2_LIB pcre2-16 PATHS "${QRV_PCRE2_PREFIX}/lib" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QRV_PCRE2_LIB)
  message(FATAL_ERROR "PCRE2 not found in ${QRV_PCRE2_PREFIX}: run scripts/setup.sh")
endif()
add_library(qrv_pcre2 STATIC IMPORTED)
set_target_properties(qrv_pcre2 PROPERTIES
  IMPORTED_LOCATION "${QRV_PCRE2_LIB}"
  INTERFACE_INCLUDE_DIRECTORIES "${QRV_PCRE2_PREFIX}/include"
  INTERFACE_COMPILE_DEFINITIONS "PCRE2_STATIC;PCRE2_CODE_UNIT_WIDTH=16")

set(QRV_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources (Debian's googletest package)")
