# SPDX-License-Identifier: MIT
# The programs' manual pages, compressed and with the project's version in
# their footers (man_page.cmake), and their bash completion: one script for
# both, under each program's name, where bash-completion looks them up.
set(man_pages ${PROJECT_SOURCE_DIR}/app/tavrest.1 ${PROJECT_SOURCE_DIR}/viewer/tavrest-view.1)
set(man_outputs "")
foreach(page ${man_pages})
  get_filename_component(name ${page} NAME)
  set(output ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${page} -DOUTPUT=${output} -DVERSION=${PROJECT_VERSION}
            -P ${CMAKE_CURRENT_LIST_DIR}/man_page.cmake
    DEPENDS ${page} ${CMAKE_CURRENT_LIST_DIR}/man_page.cmake VERBATIM)
  list(APPEND man_outputs ${output})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(completion ${PROJECT_SOURCE_DIR}/completion/tavrest.bash)
foreach(program tavrest tavrest-view)
  install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
          RENAME ${program})
endforeach()
