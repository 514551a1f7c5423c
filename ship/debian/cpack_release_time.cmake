# Run by cpack: every file in the package gets the release's time instead of
# its build time, unless the caller chose one.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_KESTRUNE_RELEASE_TIME})
endif()
