# The checks of what a launcher is built with, run at configure time:
# kestrune_check_minisign_keys, kestrune_release_timestamp and
# kestrune_check_update_address below.

# Stops the configure step unless keys is empty or a list of minisign public
# keys: never a launcher that silently checks nothing, nor one that knows
# fewer keys than its maker gave.
function(kestrune_check_minisign_keys keys)
  if(keys MATCHES "^;|;;|;$")
    message(FATAL_ERROR "An empty entry among the minisign public keys: \"${keys}\"")
  endif()
  foreach(key IN LISTS keys)
    string(LENGTH "${key}" key_length)
    if(NOT key MATCHES "^RW[A-Za-z0-9+/]+$" OR NOT key_length EQUAL 56)
      message(FATAL_ERROR "Each minisign public key must be the base64 line of a minisign .pub "
                          "file (56 characters starting with RW), not: \"${key}\" "
                          "(several keys are separated by ';')")
    endif()
  endforeach()
endfunction()

# The oldest release a launcher takes, in whole seconds since 1970 as
# minisign dates a signature: empty or 0 for none. Anything else, or a
# moment still to come (which would refuse every release until then),
# stops the configure step.
function(kestrune_release_timestamp out_var value)
  if(value STREQUAL "")
    set(value 0)
  endif()
  if(NOT value MATCHES "^[0-9]+$")
    message(FATAL_ERROR "KESTRUNE_MINIMUM_RELEASE_TIMESTAMP must be whole seconds since 1970 "
                        "(kestrune-publish check prints a release's), or empty: \"${value}\"")
  endif()
  string(REGEX REPLACE "^0+([0-9])" "\\1" value "${value}")
  string(TIMESTAMP now "%s" UTC)
  string(LENGTH "${value}" digits)
  string(LENGTH "${now}" now_digits)
  if(digits GREATER now_digits OR (digits EQUAL now_digits AND value STRGREATER now))
    message(FATAL_ERROR "KESTRUNE_MINIMUM_RELEASE_TIMESTAMP ${value} is in the future (now: "
                        "${now}): the launcher would refuse every release until then.")
  endif()
  set(${out_var} "${value}" PARENT_SCOPE)
endfunction()

# Checks the update address against the keys the launcher is built with:
#
#   kestrune_check_update_address(<update_base_url> <minisign_public_keys>)
#
# Stops the configure step when one of the keys is the demo's: its secret half is
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
  list(FIND key "${demo_key}" demo_at)
  if(NOT demo_at EQUAL -1 AND NOT url STREQUAL KESTRUNE_DEMO_UPDATE_BASE_URL)
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
