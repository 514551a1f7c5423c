# A minisign key pair made once per build folder for the tests, without a
# password, so the signed test programs can be built with its public half
# and the tests can sign with its secret half. Never a maker's key.
#
#   kestrune_test_signing_key(<out_public_key_var>)
# sets <out_public_key_var> to the base64 public key line and
# KESTRUNE_TEST_SIGNING_DIR (cache, internal) to the folder holding
# test.pub and test.sec.
function(kestrune_test_signing_key out_var)
  find_program(KESTRUNE_MINISIGN minisign REQUIRED)
  set(dir ${PROJECT_BINARY_DIR}/test-signing-key)
  if(NOT EXISTS ${dir}/test.pub OR NOT EXISTS ${dir}/test.sec)
    file(MAKE_DIRECTORY ${dir})
    file(REMOVE ${dir}/test.pub ${dir}/test.sec)
    execute_process(
      COMMAND ${KESTRUNE_MINISIGN} -G -W -p ${dir}/test.pub -s ${dir}/test.sec
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "minisign could not make the tests' key pair: ${error}")
    endif()
  endif()
  file(STRINGS ${dir}/test.pub lines)
  list(GET lines 1 key)
  set(KESTRUNE_TEST_SIGNING_DIR ${dir} CACHE INTERNAL "The tests' minisign key pair")
  set(${out_var} "${key}" PARENT_SCOPE)
endfunction()
