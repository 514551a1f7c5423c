# Runs the configure step's check of the update address and key alone:
#   cmake -DURL=<address> -DKEY=<key> -P update_address_check.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/update_address.cmake)
kestrune_check_update_address("${URL}" "${KEY}")
