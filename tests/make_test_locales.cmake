# Compiles the locales the tests run under into OUTPUT (read through LOCPATH), so that the
# tests need no system-wide locale set-up. localedef's sources come with Debian's locales package.
# Where localedef is missing or cannot make one (not glibc's), the tests look for the system's
# own locales instead, and say that they skip what they cannot test.
# A locale is made once and kept while it is there: each is written under a temporary name and
# renamed when complete, so an interrupted run leaves nothing that passes for a locale.
file(MAKE_DIRECTORY "${OUTPUT}")
foreach(locale "tr_TR ISO-8859-9" "de_DE ISO-8859-1" "tr_TR UTF-8")
  separate_arguments(parts UNIX_COMMAND "${locale}")
  list(GET parts 0 name)
  list(GET parts 1 charmap)
  set(made "${OUTPUT}/${name}.${charmap}")
  if(EXISTS "${made}/LC_CTYPE")
    continue()
  endif()
  file(REMOVE_RECURSE "${made}.partial")
  execute_process(COMMAND localedef -c -i ${name} -f ${charmap} "${made}.partial"
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${made}.partial")
    message(WARNING "localedef cannot make ${name}.${charmap} (Debian package locales): "
                    "${result} ${error}")
    continue()
  endif()
  file(REMOVE_RECURSE "${made}")
  file(RENAME "${made}.partial" "${made}")
endforeach()
