# Checks the update address against the key the launcher is built with:
#
#   kestrune_check_update_address(<update_base_url> <minisign_public_key>)
#
# Stops the configure step when the key is the demo's: its secret half is
# published, so a launcher that trusts it fetching from anywhere but the
# demo server's address would trust whoever downloaded the demo. Warns when
# a plain-http address beyond this machine has no key to check what it
# serves. Included by the top-level CMakeLists.txt, and run by its test
# through tests/structure/update_address_check.cmake.
set(KESTRUNE_DEMO_UPDATE_BASE_URL "http://127.0.0.1:8080/serverlist/")
set(KESTRUNE_DEMO_PUBLIC_KEY_FILE ${CMAKE_CURRENT_LIST_DIR}/../demo/demo-signing-key.pub)

function(kestrune_check_update_address url key)
  file(STRINGS ${KESTRUNE_DEMO_PUBLIC_KEY_FILE} demo_lines)
  list(GET demo_lines 1 demo_key)
  if(key STREQUAL demo_key AND NOT url STREQUAL KESTRUNE_DEMO_UPDATE_BASE_URL)
    message(FATAL_ERROR
      "KESTRUNE_MINISIGN_PUBLIC_KEY is the demo's key, whose secret half is published with "
      "the sources: it proves nothing. It is for the demo server "
      "(${KESTRUNE_DEMO_UPDATE_BASE_URL}) only, not for ${url}. Make a key of your own "
      "(minisign -G) and pass the second line of its .pub file.")
  endif()
  # No network path lies between a loopback server and its client.
  if(key STREQUAL "" AND url MATCHES "^http://"
     AND NOT url MATCHES "^http://(127\\.[0-9.]+|localhost|\\[::1\\])(:[0-9]+)?/")
    message(WARNING
      "The launcher fetches ${url} over plain http and checks nothing it is given: anyone on "
      "the network path between a customer and that server can change the manifest and the "
      "files, and so have any program of theirs kept and started on the customer's machine, "
      "with administrator rights on Windows. Sign each release with minisign and build with "
      "-DKESTRUNE_MINISIGN_PUBLIC_KEY=<the second line of your minisign .pub file> "
      "(README: Signed updates), or serve it over https.")
  endif()
endfunction()
