# cmake -DURL=<url> -P check_url.cmake: the configure-time check of
# DOWNLOAD_URL alone, without a toolchain or a build tree.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/download_url.cmake)
cveltrix_check_download_url("${URL}")
