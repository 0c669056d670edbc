# Run by CPack on its staged files before it makes each package (K4Packaging.cmake):
# manual pages gzip'd without name or time, as Debian's policy wants them (man reads
# them so from the .tar.gz too). CPack itself stamps the members with SOURCE_DATE_EPOCH.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(file MATCHES "/share/man/man[1-9]/[^/]+\\.[1-9]$")
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip ${file} failed")
    endif()
  endif()
endforeach()
