# Copies of the tool aimed at the local test server, and the driver that
# runs them under Wine.
# The test copies give up on a silent server sooner, so the tests need not wait a minute.
set(CVELTRIX_TEST_SILENCE_SECONDS 4 CACHE STRING "Silence limit of the test copies, in seconds")
cveltrix_add_exe(cveltrix_local test-local "${CVELTRIX_TEST_URL}" "" "${CVELTRIX_TEST_SILENCE_SECONDS}")
# A download link with a query, as a download script's or a signed link's
# (tests/e2e/harness.py knows the query as TEST_QUERY).
cveltrix_add_exe(cveltrix_query test-query "${CVELTRIX_TEST_URL}?build=3" "" "${CVELTRIX_TEST_SILENCE_SECONDS}")
# The same over https, from the test server's TLS mode.
cveltrix_add_exe(cveltrix_https test-https "${CVELTRIX_TEST_HTTPS_URL}" "" "${CVELTRIX_TEST_SILENCE_SECONDS}")

# A pinned copy for the integrity tests: it expects the test server's
# generated content of CVELTRIX_PINNED_SIZE bytes.
set(CVELTRIX_PINNED_SIZE 3000000 CACHE STRING "Size of the content the pinned test build expects")
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/server/test_server.py)
execute_process(
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/server/test_server.py --sha256 --size ${CVELTRIX_PINNED_SIZE}
    OUTPUT_VARIABLE CVELTRIX_PINNED_SHA256 OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE pin_result)
if(pin_result EQUAL 0)
    cveltrix_add_exe(cveltrix_pinned test-pinned "${CVELTRIX_TEST_URL}" "${CVELTRIX_PINNED_SHA256}"
                     "${CVELTRIX_TEST_SILENCE_SECONDS}")
else()
    message(WARNING "No pinned test build: the test server could not report its content's SHA-256")
endif()

# A copy that tries again by itself after a dropped connection or a busy server.
cveltrix_add_exe(cveltrix_retrying test-retrying "${CVELTRIX_TEST_URL}" "" "${CVELTRIX_TEST_SILENCE_SECONDS}" "" 3)

# A copy that takes only an installer signed by the tests' throwaway vendor.
set(CVELTRIX_TEST_SIGNER "Cveltrix Throwaway Vendor" CACHE STRING "Signer the signature-checking test build expects")
cveltrix_add_exe(cveltrix_signed test-signed "${CVELTRIX_TEST_URL}" "" "${CVELTRIX_TEST_SILENCE_SECONDS}"
                 "${CVELTRIX_TEST_SIGNER}")

add_subdirectory(${PROJECT_SOURCE_DIR}/tests/driver ${CMAKE_BINARY_DIR}/tests/driver)
