# Signs EXE in place with osslsigncode and verifies the signature against
# CA_FILE. On any failure the exe is removed, so that a failed signing never
# leaves an unsigned exe behind that the next build takes as up to date.
#   cmake -DOSSLSIGNCODE=... -DEXE=... -DPKCS12=... -DPASSWORD_FILE=... -DCA_FILE=... -DDESCRIPTION=... -P sign.cmake

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        file(REMOVE "${EXE}" "${EXE}.signed")
        message(FATAL_ERROR "${what} failed (the exe was removed):\n${output}")
    endif()
endfunction()

run("Signing ${EXE}" "${OSSLSIGNCODE}" sign -pkcs12 "${PKCS12}" -readpass "${PASSWORD_FILE}" -h sha256
    -n "${DESCRIPTION}" -in "${EXE}" -out "${EXE}.signed")
run("Verifying the signature of ${EXE}" "${OSSLSIGNCODE}" verify -CAfile "${CA_FILE}" -in "${EXE}.signed")
file(RENAME "${EXE}.signed" "${EXE}")
message(STATUS "Signed and verified: ${EXE}")
