# cveltrix_check_download_url(<url>): stops the configuration with a message
# naming what is wrong when <url> cannot be the one compiled in.
function(cveltrix_check_download_url url)
    if(url MATCHES "[\"\\\\]" OR NOT url MATCHES "^https?://[^/]")
        message(FATAL_ERROR "DOWNLOAD_URL must be an http:// or https:// URL without quotes or backslashes: ${url}")
    endif()
    # Anyone who has the exe can read a password compiled into it.
    if(url MATCHES "^https?://[^/?#]*@")
        message(FATAL_ERROR "DOWNLOAD_URL must not hold a user name or password before its host: ${url}")
    endif()
    # The saved file is named after the path's last segment.
    if(NOT url MATCHES "^https?://[^/?#]+/[^?#]*[^/?#]([?#].*)?$")
        message(FATAL_ERROR "DOWNLOAD_URL must name a file: its path must end with the file's name: ${url}")
    endif()
endfunction()
