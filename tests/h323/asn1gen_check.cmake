# Compares freshly generated ASN.1 classes with the committed ones; skips without the modules.
if(NOT EXISTS "${ASN1_DIR}/H323-MESSAGES.asn")
    message("SKIPPED: ${ASN1_DIR} is missing; the committed sources cannot be checked")
    return()
endif()
execute_process(COMMAND "${ASN1GEN}" --check "${GEN_DIR}" ${MODULES} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "h323/asn1/gen is stale: build the asn1-update target and commit")
endif()
