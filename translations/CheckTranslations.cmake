# Fails when the translation file TS is out of date with the sources (lupdate, run into a copy of
# it, changes it) or when lrelease finds a text in it unfinished.
#   cmake -DLUPDATE=... -DLRELEASE=... -DLUPDATE_OPTIONS=... -DTS=... -DWORK=<folder> -P CheckTranslations.cmake
get_filename_component(name ${TS} NAME)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${TS} DESTINATION ${WORK})

execute_process(COMMAND ${LUPDATE} ${LUPDATE_OPTIONS} -ts ${WORK}/${name} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${TS} ${WORK}/${name} RESULT_VARIABLE differs)
if(differs)
    execute_process(COMMAND diff -u ${TS} ${WORK}/${name})
    message(FATAL_ERROR "${name} is out of date with the sources: build the target update-translations, "
                        "translate what it adds and commit the file")
endif()

execute_process(COMMAND ${LRELEASE} ${TS} -qm ${WORK}/check.qm OUTPUT_VARIABLE report RESULT_VARIABLE status)
message("${report}")
if(NOT status EQUAL 0 OR NOT report MATCHES "finished and 0 unfinished\\)" OR report MATCHES "untranslated")
    message(FATAL_ERROR "${name} has texts without a finished translation")
endif()
