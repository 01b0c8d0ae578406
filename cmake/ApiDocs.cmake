# The API reference: Doxygen over the public headers, HTML to read and XML for the test that holds
# the exported symbols against it. An undocumented public symbol fails the build.
find_package(Doxygen 1.9 REQUIRED)

# The typed settings are declared from one list (CORE_TYPED_SETTINGS in profile.h), so each getter
# and setter gets its entry here, made from that list.
file(STRINGS ${PROJECT_SOURCE_DIR}/core/profile.h typed_settings REGEX "^    X\\([A-Za-z]+, [a-z_]+\\)")
set(typed_settings_dox "/*! \\class Profile */\n")
foreach(entry IN LISTS typed_settings)
    string(REGEX REPLACE "^    X\\(([A-Za-z]+), ([a-z_]+)\\).*" "\\1;\\2" entry "${entry}")
    list(GET entry 0 type)
    list(GET entry 1 name)
    string(APPEND typed_settings_dox
        "/*! \\fn ${type} Profile::${name}(const ${type} &defaultValue)\n"
        "    The setting \"${name}\", else defaultValue; kept after the first call. */\n"
        "/*! \\fn void Profile::set_${name}(const ${type} &value, bool save)\n"
        "    Sets \"${name}\" to value and refreshes the getter's copy; with save, also in the table. */\n")
endforeach()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/doc/typedsettings.dox CONTENT "${typed_settings_dox}")

list(TRANSFORM CORE_PUBLIC_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/core/ OUTPUT_VARIABLE core_doc_headers)
list(APPEND core_doc_headers ${PROJECT_BINARY_DIR}/core/tavocore_version.h
                             ${PROJECT_SOURCE_DIR}/docs/mainpage.dox
                             ${PROJECT_BINARY_DIR}/doc/typedsettings.dox)
list(JOIN core_doc_headers "\" \"" CORE_DOC_INPUT)
set(CORE_DOC_DIR ${PROJECT_BINARY_DIR}/doc)
configure_file(${PROJECT_SOURCE_DIR}/cmake/Doxyfile.in ${CORE_DOC_DIR}/Doxyfile @ONLY)

add_custom_command(OUTPUT ${CORE_DOC_DIR}/html/index.html ${CORE_DOC_DIR}/xml/index.xml
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${CORE_DOC_DIR}/html
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${CORE_DOC_DIR}/xml
    COMMAND Doxygen::doxygen ${CORE_DOC_DIR}/Doxyfile
    DEPENDS ${CORE_DOC_DIR}/Doxyfile ${core_doc_headers}
    WORKING_DIRECTORY ${CORE_DOC_DIR}
    COMMENT "Building the API reference")
add_custom_target(doc ALL DEPENDS ${CORE_DOC_DIR}/html/index.html)

if(NOT CORE_DEB_DEV_DOCDIR)
    set(CORE_DEB_DEV_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(DIRECTORY ${CORE_DOC_DIR}/html DESTINATION ${CORE_DEB_DEV_DOCDIR} COMPONENT dev)
