# The Windows executables: the product, copies of it aimed at the local test
# server, and the test tools that drive them under Wine.
enable_language(RC)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
if(MINGW)
    # Self-contained: no MinGW runtime DLLs beside the exe; wWinMain entry.
    add_link_options(-static -static-libgcc -static-libstdc++ -municode)
endif()

add_library(cveltrix_win STATIC
    platform/dialog_win.cpp
    platform/files_win.cpp
    platform/folder_picker_win.cpp
    platform/http_wininet.cpp
    platform/locale_win.cpp
    platform/message_box_win.cpp
    platform/module_win.cpp
    platform/thread_win.cpp
    platform/version_info_win.cpp
    app/about_dlg.cpp
    app/cveltrix_dlg.cpp
    proxy/proxy_dialog.cpp
)
target_link_libraries(cveltrix_win PUBLIC cveltrix_core comctl32 wininet shell32 ole32 version)

# cveltrix_add_exe(<target> <output folder> <url>): Cveltrix.exe in
# <output folder> of the build tree, with <url> compiled in.
function(cveltrix_add_exe target folder url)
    if(url MATCHES "[\"\\\\]" OR NOT url MATCHES "^http://")
        message(FATAL_ERROR "DOWNLOAD_URL must be a plain http:// URL without quotes or backslashes: ${url}")
    endif()
    set(CVELTRIX_URL "${url}")
    set(url_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_url.cpp)
    configure_file(${PROJECT_SOURCE_DIR}/download/download_url.cpp.in ${url_source} @ONLY)
    add_executable(${target} WIN32 ${url_source} ${PROJECT_SOURCE_DIR}/app/cveltrix_app.cpp
                   ${PROJECT_SOURCE_DIR}/resources/cveltrix.rc)
    target_link_libraries(${target} PRIVATE cveltrix_win)
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME Cveltrix
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${folder})
endfunction()

cveltrix_add_exe(cveltrix bin "${DOWNLOAD_URL}")
cveltrix_add_exe(cveltrix_local test-local "${CVELTRIX_TEST_URL}")

if(EXISTS ${PROJECT_SOURCE_DIR}/tests/driver/CMakeLists.txt)
    add_subdirectory(tests/driver)
endif()
