# Signs one Windows file in place with Authenticode, through osslsigncode:
#
#   cmake -DFILE=x.exe -DPKCS12=cert.p12 [-DPASSWORD_FILE=pass.txt]
#         [-DTIMESTAMP_URL=http://...] [-DOSSLSIGNCODE=/usr/bin/osslsigncode]
#         [-DDESCRIPTION=Kestrune] [-DURL=http://...] -P sign.cmake
#
# The password is handed over as a file (-readpass), never on a command line
# where other users' ps would show it. Without TIMESTAMP_URL the signature
# carries no timestamp and stops being valid when the certificate expires.
# The signed file is written beside the original and moved over it only
# once osslsigncode has succeeded, so a failure leaves no half-signed file.
cmake_minimum_required(VERSION 3.25)

foreach(required FILE PKCS12)
  if(NOT ${required})
    message(FATAL_ERROR "sign.cmake: -D${required}= is required")
  endif()
endforeach()
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "sign.cmake: no file ${FILE}")
endif()
if(NOT EXISTS "${PKCS12}")
  message(FATAL_ERROR "sign.cmake: no certificate ${PKCS12}")
endif()
if(NOT OSSLSIGNCODE)
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "sign.cmake: osslsigncode not found (Debian package osslsigncode)")
  endif()
endif()

set(args sign -pkcs12 "${PKCS12}" -h sha256)
if(PASSWORD_FILE)
  if(NOT EXISTS "${PASSWORD_FILE}")
    message(FATAL_ERROR "sign.cmake: no password file ${PASSWORD_FILE}")
  endif()
  list(APPEND args -readpass "${PASSWORD_FILE}")
endif()
if(DESCRIPTION)
  list(APPEND args -n "${DESCRIPTION}")
endif()
if(URL)
  list(APPEND args -i "${URL}")
endif()
if(TIMESTAMP_URL)
  list(APPEND args -t "${TIMESTAMP_URL}")
endif()

set(signed "${FILE}.signed")
file(REMOVE "${signed}")
execute_process(
  COMMAND "${OSSLSIGNCODE}" ${args} -in "${FILE}" -out "${signed}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE "${signed}")
  message(FATAL_ERROR "sign.cmake: osslsigncode could not sign ${FILE}:\n${output}")
endif()
file(RENAME "${signed}" "${FILE}")
