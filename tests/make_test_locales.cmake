# Compiles the locales the tests run under into OUTPUT (read through LOCPATH), so that the
# tests need no system-wide locale set-up. localedef's sources come with Debian's locales package.
file(MAKE_DIRECTORY "${OUTPUT}")
foreach(locale "tr_TR ISO-8859-9" "de_DE ISO-8859-1" "tr_TR UTF-8")
  separate_arguments(parts UNIX_COMMAND "${locale}")
  list(GET parts 0 name)
  list(GET parts 1 charmap)
  execute_process(COMMAND localedef -c -i ${name} -f ${charmap} "${OUTPUT}/${name}.${charmap}"
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "localedef cannot make ${name}.${charmap} (Debian package locales): ${error}")
  endif()
endforeach()
