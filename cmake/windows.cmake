# The Windows executable; the test and benchmark builds come from the files
# included at the end.
enable_language(RC)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
if(MINGW)
    # Self-contained: no MinGW runtime DLLs beside the exe; wWinMain entry.
    # Reproducible: no link time in the PE header (and, stripped, no paths).
    add_link_options(-static -static-libgcc -static-libstdc++ -municode -s -Wl,--no-insert-timestamp)
elseif(MSVC)
    # Self-contained with the static runtime; the resource script carries
    # the manifest, so the linker must not add a second one. Reproducible:
    # /Brepro puts a hash of the content where the time stamps would go.
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    add_compile_options(/Brepro)
    add_link_options(/MANIFEST:NO /Brepro)
endif()

add_library(cveltrix_win STATIC
    platform/dialog_win.cpp
    platform/dpi_win.cpp
    platform/files_win.cpp
    platform/folder_picker_win.cpp
    platform/http_wininet.cpp
    platform/locale_win.cpp
    platform/message_box_win.cpp
    platform/module_win.cpp
    platform/pace_win.cpp
    platform/sha256_bcrypt.cpp
    platform/signature_win.cpp
    platform/taskbar_win.cpp
    platform/thread_win.cpp
    platform/version_info_win.cpp
    app/about_dlg.cpp
    app/cveltrix_dlg.cpp
    app/run_host.cpp
    ui/proxy_dialog.cpp
    ui/dialog_texts.cpp
)
target_link_libraries(cveltrix_win PUBLIC cveltrix_core comctl32 uuid version)
# What the first paint does not need loads when a run, the picker or the
# taskbar first calls it: the window shows as soon as a bare dialog's would.
include(${PROJECT_SOURCE_DIR}/cmake/delay_load.cmake)
cveltrix_delay_load(cveltrix_win wininet shell32 ole32 bcrypt wintrust crypt32)

include(${PROJECT_SOURCE_DIR}/cmake/download_url.cmake)

# cveltrix_add_exe(<target> <output folder> <url> <sha256> <silence> [<signer> [<retries>]]):
# Cveltrix.exe in <output folder> of the build tree, with <url>, the pin
# <sha256> (may be empty), the silence limit in seconds, the expected
# signer's name (none when absent or empty) and the tries again after a
# failure (none when absent) compiled in.
function(cveltrix_add_exe target folder url sha256 silence)
    set(signer "${ARGV5}")
    set(retries "${ARGV6}")
    if(retries STREQUAL "")
        set(retries 0)
    endif()
    if(NOT retries MATCHES "^(0|[1-9][0-9]?)$")
        message(FATAL_ERROR "DOWNLOAD_RETRIES must be a whole number from 0 to 99, not: ${retries}")
    endif()
    set(CVELTRIX_RETRIES "${retries}")
    if(signer MATCHES "[\"\\\\]")
        message(FATAL_ERROR "DOWNLOAD_SIGNER must not hold quotes or backslashes: ${signer}")
    endif()
    cveltrix_check_download_url("${url}")
    if(NOT sha256 STREQUAL "" AND NOT sha256 MATCHES "^[0-9A-Fa-f]+$")
        message(FATAL_ERROR "DOWNLOAD_SHA256 must be 64 hexadecimal digits or empty, not: ${sha256}")
    endif()
    string(LENGTH "${sha256}" sha256_length)
    if(NOT sha256_length EQUAL 0 AND NOT sha256_length EQUAL 64)
        message(FATAL_ERROR "DOWNLOAD_SHA256 must be 64 hexadecimal digits or empty; it has ${sha256_length}")
    endif()
    if(NOT silence MATCHES "^[1-9][0-9]*$")
        message(FATAL_ERROR "SILENCE_LIMIT_SECONDS must be a whole number of seconds above 0, not: ${silence}")
    endif()
    set(CVELTRIX_SILENCE_SECONDS "${silence}")
    set(CVELTRIX_URL "${url}")
    set(CVELTRIX_SHA256 "${sha256}")
    set(CVELTRIX_SIGNER "${signer}")
    set(url_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_url.cpp)
    configure_file(${PROJECT_SOURCE_DIR}/core/download_url.cpp.in ${url_source} @ONLY)
    add_executable(${target} WIN32 ${url_source} ${PROJECT_SOURCE_DIR}/app/cveltrix_app.cpp
                   ${PROJECT_SOURCE_DIR}/resources/cveltrix.rc)
    target_link_libraries(${target} PRIVATE cveltrix_win)
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME Cveltrix
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${folder})
endfunction()

# The resource compiler reports no dependencies: name what the script includes.
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/cveltrix.rc PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/cveltrix.manifest;${PROJECT_SOURCE_DIR}/resources/cveltrix.ico;${PROJECT_SOURCE_DIR}/resources/resource.h")

cveltrix_add_exe(cveltrix bin "${DOWNLOAD_URL}" "${DOWNLOAD_SHA256}" "${SILENCE_LIMIT_SECONDS}" "${DOWNLOAD_SIGNER}"
                 "${DOWNLOAD_RETRIES}")

# Optional Authenticode signature of the product exe.
set(CVELTRIX_SIGN_PKCS12 "" CACHE FILEPATH
    "Code-signing certificate with its key (PKCS#12); empty: the exe is not signed")
set(CVELTRIX_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 file's password")
set(CVELTRIX_SIGN_CA_FILE "/etc/ssl/certs/ca-certificates.crt" CACHE FILEPATH
    "Trusted root certificates the signature is verified against")
if(CVELTRIX_SIGN_PKCS12)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    add_custom_command(TARGET cveltrix POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${OSSLSIGNCODE} -DEXE=$<TARGET_FILE:cveltrix>
                -DPKCS12=${CVELTRIX_SIGN_PKCS12} -DPASSWORD_FILE=${CVELTRIX_SIGN_PASSWORD_FILE}
                -DCA_FILE=${CVELTRIX_SIGN_CA_FILE} "-DDESCRIPTION=Cveltrix Downloader"
                -P ${PROJECT_SOURCE_DIR}/cmake/sign.cmake
        VERBATIM)
endif()
# The copies of the tool the tests and the benchmark run, and their tools.
include(${PROJECT_SOURCE_DIR}/tests/windows.cmake)
include(${PROJECT_SOURCE_DIR}/tools/bench/windows.cmake)
