# The test files say which ctest labels their tests carry. A line
#   // ctest-labels: threads
# just above a test labels that test; anywhere else it labels every test of
# the file. Beside these every test carries its suite's kind: "unit",
# "tools" (needs the built tools and library) or "e2e" (drives the built
# program).
#   threads   threads or memory meet: the sanitizer trees run it, e2e or not
#   slow      a long exact computation whose code shorter tests also run
#   realtime  must keep real time (a JACK client's periods), which a
#             sanitized build cannot
#   jack      starts a JACK server of its own: two never run at once, as
#             servers started together in one user's table trip each other
#   link      joins a Link session and holds it to the beat: it runs alone,
#             as every Link program on the machine is one session's peer and
#             a loaded machine moves the dummy JACK server's beats
# The sanitizer trees run -L '^(unit|threads)$' -LE '^(slow|realtime)$'.

set(_beatloom_test_regex "\nTEST(_F)?\\([A-Za-z0-9_]+,[ \n]*[A-Za-z0-9_]+")

# The label words of a "// ctest-labels:" mark, checked.
function(_beatloom_label_words out mark file)
  string(REGEX MATCH "^// ctest-labels:([^\n]*)" _line "${mark}")
  string(STRIP "${CMAKE_MATCH_1}" _words)
  string(REGEX REPLACE "[ \t]+" ";" _words "${_words}")
  foreach(_w ${_words})
    if(NOT _w MATCHES "^(threads|slow|realtime|jack|link)$")
      message(FATAL_ERROR "${file}: unknown ctest label '${_w}'")
    endif()
  endforeach()
  set(${out} ${_words} PARENT_SCOPE)
endfunction()

# Sets <out> to one "label,label|Suite.Name" entry for each labelled test
# of the files given.
function(beatloom_test_labels out)
  set(_entries)
  foreach(_file ${ARGN})
    file(READ ${_file} _text)
    string(REGEX MATCHALL "// ctest-labels:[^\n]*(${_beatloom_test_regex})?|${_beatloom_test_regex}" _marks
           "${_text}")
    # The file's own labels first, wherever they stand.
    set(_fileLabels)
    foreach(_mark ${_marks})
      if(_mark MATCHES "^// ctest-labels:" AND NOT _mark MATCHES "\nTEST")
        _beatloom_label_words(_words "${_mark}" ${_file})
        list(APPEND _fileLabels ${_words})
      endif()
    endforeach()
    foreach(_mark ${_marks})
      if(NOT _mark MATCHES "\nTEST(_F)?\\(([A-Za-z0-9_]+),[ \n]*([A-Za-z0-9_]+)")
        continue()
      endif()
      set(_test "${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
      set(_labels ${_fileLabels})
      if(_mark MATCHES "^// ctest-labels:")
        _beatloom_label_words(_words "${_mark}" ${_file})
        list(APPEND _labels ${_words})
      endif()
      if(_labels)
        list(REMOVE_DUPLICATES _labels)
        list(SORT _labels)
        list(JOIN _labels "," _key)
        list(APPEND _entries "${_key}|${_test}")
      endif()
    endforeach()
  endforeach()
  set(${out} ${_entries} PARENT_SCOPE)
endfunction()

# True in <out> when a file holds no test or one labelled <label>.
function(beatloom_test_file_wanted out file label)
  file(READ ${file} _text)
  set(_wanted FALSE)
  if(NOT _text MATCHES "\nTEST(_F)?\\(")
    set(_wanted TRUE)
  else()
    beatloom_test_labels(_entries ${file})
    foreach(_e ${_entries})
      if(_e MATCHES "^([^|]*,)?${label}(,[^|]*)?\\|")
        set(_wanted TRUE)
      endif()
    endforeach()
  endif()
  set(${out} ${_wanted} PARENT_SCOPE)
endfunction()

# Registers the tests of <target> with ctest, each labelled with its
# suite's kind and what its file says. The labels a file gives are set by
# a script ctest reads after the discovered tests (beatloom_write_test_labels):
# the discovery would flatten a list of labels into separate properties.
function(beatloom_discover_tests target kind)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${kind})
  beatloom_test_labels(_entries ${ARGN})
  foreach(_e ${_entries})
    string(REGEX REPLACE "\\|.*$" "" _key "${_e}")
    string(REGEX REPLACE "^[^|]*\\|" "" _test "${_e}")
    string(REPLACE "," ";" _labels "${kind},${_key}")
    set(_locks)
    foreach(_shared jack link)
      if(_shared IN_LIST _labels)
        list(APPEND _locks ${_shared})
      endif()
    endforeach()
    set(_lockProperty)
    if(_locks)
      set(_lockProperty " RESOURCE_LOCK \"${_locks}\"")
    endif()
    if(link IN_LIST _labels)
      string(APPEND _lockProperty " RUN_SERIAL TRUE")
    endif()
    set_property(GLOBAL APPEND_STRING PROPERTY BEATLOOM_TEST_LABEL_LINES
      "set_tests_properties([=[${_test}]=] PROPERTIES LABELS \"${_labels}\"${_lockProperty})\n")
  endforeach()
endfunction()

# Writes the labels script; called once, after every suite.
function(beatloom_write_test_labels)
  get_property(_lines GLOBAL PROPERTY BEATLOOM_TEST_LABEL_LINES)
  set(_file ${CMAKE_CURRENT_BINARY_DIR}/test_labels.cmake)
  file(WRITE ${_file} "${_lines}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_file})
endfunction()
