# The API reference: Doxygen over the public headers, HTML to read and XML for the test that holds
# the exported symbols against it. An undocumented public symbol fails the build.
find_package(Doxygen 1.9 REQUIRED)

list(TRANSFORM CORE_PUBLIC_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/core/ OUTPUT_VARIABLE core_doc_headers)
list(APPEND core_doc_headers ${PROJECT_BINARY_DIR}/core/tavocore_version.h
                             ${PROJECT_SOURCE_DIR}/docs/mainpage.dox)
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
