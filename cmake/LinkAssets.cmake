# Links each of NAMES in the program folder FROM into the program folder TO.
string(REPLACE "," ";" _names "${NAMES}")
foreach(_name ${_names})
  if(NOT EXISTS ${FROM}/${_name})
    message(FATAL_ERROR "${FROM}/${_name} is missing: build the Release tree first (cmake --preset release "
                        "&& cmake --build build/release)")
  endif()
  file(CREATE_LINK ${FROM}/${_name} ${TO}/${_name} SYMBOLIC)
endforeach()
