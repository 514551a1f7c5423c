# Runs the configure step's checks of the update address, the keys and the
# oldest release alone:
#   cmake -DURL=<address> -DKEY=<keys> [-DMINIMUM=<seconds>] -P update_address_check.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/update_address.cmake)
kestrune_check_minisign_keys("${KEY}")
kestrune_release_timestamp(minimum "${MINIMUM}")
kestrune_check_update_address("${URL}" "${KEY}")
message(STATUS "minimum: ${minimum}")
