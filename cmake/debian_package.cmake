# What Debian asks of a binary package beyond the plain install (SPELL_CHECKER_DEBIAN_PACKAGE):
# a machine-readable copyright file and a changelog in /usr/share/doc/<package>/, manual pages
# compressed, no compiler notes left in the program, and lintian's overrides for what is meant.
set(debian_doc_directory "${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME}")
set(debian_directory "${CMAKE_BINARY_DIR}/debian")
file(MAKE_DIRECTORY "${debian_directory}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${PROJECT_SOURCE_DIR}/packaging/changelog" "${PROJECT_SOURCE_DIR}/packaging/copyright.in"
  "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/data/COPYRIGHT")

# The changelog's latest entry must be this version, or dpkg and lintian see two versions.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/changelog" changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${CPACK_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog must begin with an entry for ${CPACK_PACKAGE_NAME} "
                      "${PROJECT_VERSION}; it begins \"${changelog_head}\"")
endif()

# Sets `variable` to the text of `file` from the first occurrence of `from`, as the continuation
# lines of a field: each line indented by one space, an empty one written " .".
function(debian_field_text variable file from)
  file(READ "${file}" text)
  string(FIND "${text}" "${from}" start)
  string(SUBSTRING "${text}" ${start} -1 text)
  string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  foreach(pass 1 2)  # a run of empty lines takes two passes, as matches do not overlap
    string(REPLACE "\n\n" "\n.\n" text "${text}")
  endforeach()
  string(REPLACE "\n" "\n " text "${text}")
  set(${variable} " ${text}" PARENT_SCOPE)
endfunction()

debian_field_text(word_list_notice "${PROJECT_SOURCE_DIR}/data/COPYRIGHT" "This package")
debian_field_text(program_license "${PROJECT_SOURCE_DIR}/LICENSE" "Permission is hereby")
configure_file("${PROJECT_SOURCE_DIR}/packaging/copyright.in" "${debian_directory}/copyright"
               @ONLY)

# gzip -9n: the best compression, and neither name nor time stamp in the header, so that the
# bytes depend on the content alone.
function(gzip_file input output)
  execute_process(COMMAND gzip -9n -c "${input}" OUTPUT_FILE "${output}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip cannot compress ${input}")
  endif()
endfunction()
gzip_file("${PROJECT_SOURCE_DIR}/packaging/changelog" "${debian_directory}/changelog.gz")
gzip_file("${CMAKE_BINARY_DIR}/spell_checker.1" "${CMAKE_BINARY_DIR}/spell_checker.1.gz")

install(FILES "${debian_directory}/copyright" "${debian_directory}/changelog.gz"
        DESTINATION "${debian_doc_directory}")
install(FILES "${CMAKE_BINARY_DIR}/spell_checker.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/lintian-overrides DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides"
        RENAME ${CPACK_PACKAGE_NAME})
# As Debian strips a program: without the compiler's notes as well as its symbols.
install(CODE "
  set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/spell_checker\")
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded --remove-section=.comment
                          --remove-section=.note \"\${program}\" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR \"cannot strip \${program}\")
  endif()")
