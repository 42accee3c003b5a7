# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged .deb contents: Debian wants every manual
# page compressed with gzip -9n, whatever install rule put it there in plain text.
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER pages INCLUDE REGEX "/share/man/(.+/)?man[0-9][^/]*/[^/]+\\.[0-9][^/]*$")
list(FILTER pages EXCLUDE REGEX "\\.gz$")
foreach(page IN LISTS pages)
  if(NOT IS_SYMLINK "${page}")
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
