# The installation ZIP of this architecture, laid out as the launcher expects:
# Tavrin.exe at the top; Pellux.dll, the application's archives and the
# security policy in "lib". Made by `cpack -G ZIP` in the build tree.
install(TARGETS Tavrin RUNTIME DESTINATION .)
install(TARGETS Pellux RUNTIME DESTINATION lib)
install(FILES ${TAVRIN_APP_DIR}/lib/tavrin.jar ${TAVRIN_APP_DIR}/lib/resources.jar
              ${CMAKE_SOURCE_DIR}/java/java.policy
        DESTINATION lib)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tavrin)
set(CPACK_PACKAGE_VERSION ${TAVRIN_VERSION})
set(CPACK_PACKAGE_FILE_NAME Tavrin-${TAVRIN_VERSION}-${TAVRIN_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
set(TAVRIN_PACKAGE ${CMAKE_BINARY_DIR}/package/${CPACK_PACKAGE_FILE_NAME}.zip CACHE INTERNAL "")
